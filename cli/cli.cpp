#include "cli/cli.h"

#include <ostream>

namespace veltrop::cli {

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    (void)arguments;
    (void)out;
    err << "usage: veltrop-cli COMMAND [OPTIONS]\n";
    return 2;
}

}  // namespace veltrop::cli
