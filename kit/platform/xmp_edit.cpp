// Over 500 lines: one small XML scanner serves every edit (attributes and
// elements, UTF-8 and UTF-16 packets); split up, each part would need it all.
#include "kit/platform/xmp_edit.h"

#include <algorithm>
#include <utility>

#include "kit/platform/exif_dates.h"
#include "kit/platform/md5.h"

namespace veltrop::platform {

namespace {

// The packet is followed as XML just far enough to know elements,
// attributes and namespaces. Only ASCII characters carry structure, so the
// same scanner reads UTF-8 bytes and UTF-16 code units.
template <class C>
using Text = std::basic_string<C>;
template <class C>
using View = std::basic_string_view<C>;

constexpr std::string_view rdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view googleContainer = "http://ns.google.com/photos/1.0/container/";
constexpr std::string_view googleCamera = "http://ns.google.com/photos/1.0/camera/";
constexpr std::string_view gainMap = "http://ns.adobe.com/hdr-gain-map/1.0/";

template <class C>
bool isSpace(C c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

template <class C>
bool equalsAscii(View<C> text, std::string_view ascii) {
    return text.size() == ascii.size() && std::equal(text.begin(), text.end(), ascii.begin(),
                                                     [](C a, char b) { return a == static_cast<C>(b); });
}

template <class C>
bool startsWithAscii(View<C> text, std::string_view ascii) {
    return text.size() >= ascii.size() && equalsAscii(text.substr(0, ascii.size()), ascii);
}

template <class C>
Text<C> widen(std::string_view ascii) {
    return Text<C>(ascii.begin(), ascii.end());
}

bool matches(const XmpEdit& edit, auto uri, auto local) {
    if (!edit.ns.empty() && !equalsAscii(uri, edit.ns)) return false;
    if (!edit.name.empty() && edit.name.back() == '*') return startsWithAscii(local, edit.name.substr(0, edit.name.size() - 1));
    return equalsAscii(local, edit.name);
}

template <class C>
struct Replacement {
    std::size_t begin = 0;
    std::size_t end = 0;
    Text<C> text;
};

template <class C>
struct Attribute {
    View<C> name;
    std::size_t from = 0;        // the white space before the name
    std::size_t valueBegin = 0;  // inside the quotes
    std::size_t valueEnd = 0;
};

template <class C>
struct Open {
    Text<C> name;
    std::size_t removeFrom = 0;  // the white space before the start tag
    std::size_t contentBegin = 0;
    std::size_t scope = 0;  // namespace declarations in force before this element
    const XmpEdit* edit = nullptr;
    bool removing = false;
};

// An element whose children are properties that may move to the extended packet.
template <class C>
struct Property {
    std::size_t from = 0;
    std::size_t end = 0;
    std::size_t description = 0;  // index of its description
};

template <class C>
class Scanner {
public:
    Scanner(View<C> text, std::span<const XmpEdit> edits) : text_(text), edits_(edits) {}

    // Optional asks.
    std::optional<std::pair<std::string_view, std::string_view>> query;
    bool collectProperties = false;

    // False when the packet is not XML that can be followed: then no edit
    // can be trusted to have found every property it names.
    bool run() {
        std::size_t at = 0;
        bool element = false;
        while (at < text_.size()) {
            const std::size_t open = text_.find(static_cast<C>('<'), at);
            if (open == View<C>::npos) break;
            const View<C> rest = text_.substr(open);
            std::size_t next = View<C>::npos;
            if (startsWithAscii(rest, "<?")) {
                next = instruction(open);
            } else if (startsWithAscii(rest, "<!--")) {
                next = find(open, "-->");
            } else if (startsWithAscii(rest, "<![CDATA[")) {
                next = find(open, "]]>");
                markChild();
            } else if (startsWithAscii(rest, "<!")) {
                next = find(open, ">");
            } else if (startsWithAscii(rest, "</")) {
                next = endTag(open);
            } else {
                next = startTag(open);
                element = true;
            }
            if (next == View<C>::npos || unresolved_) return false;
            at = next;
        }
        return element && stack_.empty();
    }

    std::vector<Replacement<C>> replacements() const {
        auto sorted = replacements_;
        std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.begin < b.begin; });
        return sorted;
    }
    const std::optional<Text<C>>& found() const { return found_; }
    const std::vector<Property<C>>& properties() const { return properties_; }
    // Per top-level description: where its start tag closes and the namespaces in force in it.
    struct Description {
        std::size_t tagClose = 0;  // the position of "/>" or ">"
        std::vector<std::pair<Text<C>, Text<C>>> namespaces;
    };
    const std::vector<Description>& descriptions() const { return descriptions_; }

private:
    std::size_t find(std::size_t from, std::string_view what) const {
        const Text<C> wide = widen<C>(what);
        const std::size_t at = text_.find(wide, from);
        return at == View<C>::npos ? at : at + wide.size();
    }

    // The end of a processing instruction. One holding markup is refused:
    // a packet wrapper left open swallows the packet, yet lenient readers
    // still find the properties in it, which the edits here would miss.
    std::size_t instruction(std::size_t open) const {
        const std::size_t end = find(open, "?>");
        if (end == View<C>::npos) return end;
        const std::size_t inner = text_.find(static_cast<C>('<'), open + 1);
        return inner < end ? View<C>::npos : end;
    }

    bool removing() const { return !stack_.empty() && stack_.back().removing; }

    // The element being set to a simple value turns out to have structure:
    // it goes as a whole rather than keep a stale value.
    void markChild() {
        if (!stack_.empty() && stack_.back().edit != nullptr && !stack_.back().removing) stack_.back().removing = true;
    }

    std::pair<View<C>, View<C>> split(View<C> name) const {
        const std::size_t colon = name.find(static_cast<C>(':'));
        if (colon == View<C>::npos) return {View<C>{}, name};
        return {name.substr(0, colon), name.substr(colon + 1)};
    }

    std::optional<View<C>> resolve(View<C> prefix, bool element) const {
        if (prefix.empty() && !element) return std::nullopt;
        for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it)
            if (View<C>(it->first) == prefix) return View<C>(it->second);
        return std::nullopt;
    }

    const XmpEdit* editFor(View<C> qualified, bool element) {
        const auto [prefix, local] = split(qualified);
        const auto uri = resolve(prefix, element);
        if (!uri) {
            // An undeclared prefix: the name might be one that must go, and
            // nothing can tell, so the packet is not edited at all.
            if (!prefix.empty())
                for (const XmpEdit& edit : edits_)
                    if (matches(edit, View<C>(widen<C>(edit.ns)), local)) unresolved_ = true;
            return nullptr;
        }
        for (const XmpEdit& edit : edits_)
            if (matches(edit, *uri, local)) return &edit;
        return nullptr;
    }

    bool isQueried(View<C> qualified, bool element) const {
        if (!query) return false;
        const auto [prefix, local] = split(qualified);
        const auto uri = resolve(prefix, element);
        return uri && equalsAscii(*uri, query->first) && equalsAscii(local, query->second);
    }

    std::size_t spaceBefore(std::size_t at) const {
        while (at > 0 && isSpace(text_[at - 1])) --at;
        return at;
    }

    std::size_t name(std::size_t at) const {
        while (at < text_.size() && !isSpace(text_[at]) && text_[at] != '>' && text_[at] != '/' && text_[at] != '=')
            ++at;
        return at;
    }

    std::size_t skipSpace(std::size_t at) const {
        while (at < text_.size() && isSpace(text_[at])) ++at;
        return at;
    }

    void remove(std::size_t from, std::size_t end) {
        std::erase_if(replacements_, [&](const auto& r) { return r.begin >= from && r.end <= end; });
        replacements_.push_back({from, end, {}});
    }

    std::size_t startTag(std::size_t open) {
        const std::size_t nameEnd = name(open + 1);
        const View<C> qualified = text_.substr(open + 1, nameEnd - open - 1);
        if (qualified.empty()) return View<C>::npos;
        std::vector<Attribute<C>> attributes;
        std::size_t at = nameEnd;
        bool empty = false;
        for (;;) {
            const std::size_t from = at;
            at = skipSpace(at);
            if (at >= text_.size()) return View<C>::npos;
            if (text_[at] == '>') break;
            if (text_[at] == '/') {
                if (at + 1 >= text_.size() || text_[at + 1] != '>') return View<C>::npos;
                empty = true;
                break;
            }
            const std::size_t attributeEnd = name(at);
            if (attributeEnd == at) return View<C>::npos;
            Attribute<C> attribute{text_.substr(at, attributeEnd - at), from, 0, 0};
            at = skipSpace(attributeEnd);
            if (at >= text_.size() || text_[at] != '=') return View<C>::npos;
            at = skipSpace(at + 1);
            if (at >= text_.size() || (text_[at] != '"' && text_[at] != '\'')) return View<C>::npos;
            const std::size_t close = text_.find(text_[at], at + 1);
            if (close == View<C>::npos) return View<C>::npos;
            attribute.valueBegin = at + 1;
            attribute.valueEnd = close;
            attributes.push_back(attribute);
            at = close + 1;
        }
        const std::size_t tagClose = at;
        const std::size_t after = at + (empty ? 2 : 1);
        markChild();

        Open<C> element;
        element.name = Text<C>(qualified);
        element.removeFrom = spaceBefore(open);
        element.contentBegin = after;
        element.scope = namespaces_.size();
        element.removing = removing();
        for (const auto& attribute : attributes) {
            if (equalsAscii(attribute.name, "xmlns"))
                namespaces_.emplace_back(Text<C>{}, Text<C>(valueOf(attribute)));
            else if (startsWithAscii(attribute.name, "xmlns:"))
                namespaces_.emplace_back(Text<C>(attribute.name.substr(6)), Text<C>(valueOf(attribute)));
        }

        if (!element.removing) {
            for (const auto& attribute : attributes) {
                if (startsWithAscii(attribute.name, "xmlns")) continue;
                if (isQueried(attribute.name, false) && !found_) found_ = Text<C>(valueOf(attribute));
                const XmpEdit* edit = editFor(attribute.name, false);
                if (edit == nullptr) continue;
                if (edit->value)
                    replacements_.push_back({attribute.valueBegin, attribute.valueEnd, widen<C>(*edit->value)});
                else
                    replacements_.push_back({attribute.from, attribute.valueEnd + 1, {}});
            }
            element.edit = editFor(qualified, true);
            if (element.edit != nullptr && !element.edit->value) element.removing = true;
            if (!empty && isQueried(qualified, true)) queryDepth_ = stack_.size() + 1;
        }
        noteStructure(qualified, tagClose, after, element, empty);
        if (empty) {
            close(element, after);
            namespaces_.resize(element.scope);
            return after;
        }
        stack_.push_back(std::move(element));
        return after;
    }

    void noteStructure(View<C> qualified, std::size_t tagClose, std::size_t after, const Open<C>& element, bool empty) {
        if (!collectProperties) return;
        const std::size_t depth = stack_.size();
        if (depth >= 1 && isRdf(stack_.back().name, "RDF") && isRdf(qualified, "Description")) {
            descriptions_.push_back({tagClose, namespaces_});
            if (!empty) descriptionDepth_ = depth + 1;
        } else if (depth != 0 && depth == descriptionDepth_) {
            pendingProperty_ = Property<C>{element.removeFrom, after, descriptions_.size() - 1};
            if (empty)
                properties_.push_back(pendingProperty_);
            else
                propertyDepth_ = depth + 1;
        }
    }

    bool isRdf(View<C> qualified, std::string_view local) const {
        const auto [prefix, name] = split(qualified);
        const auto uri = resolve(prefix, true);
        return uri && equalsAscii(*uri, rdfNamespace) && equalsAscii(name, local);
    }

    View<C> valueOf(const Attribute<C>& attribute) const {
        return text_.substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin);
    }

    std::size_t endTag(std::size_t open) {
        const std::size_t nameEnd = name(open + 2);
        const View<C> qualified = text_.substr(open + 2, nameEnd - open - 2);
        const std::size_t closeAt = skipSpace(nameEnd);
        if (closeAt >= text_.size() || text_[closeAt] != '>' || stack_.empty() || View<C>(stack_.back().name) != qualified)
            return View<C>::npos;
        Open<C> element = std::move(stack_.back());
        stack_.pop_back();
        if (queryDepth_ == stack_.size() + 1) {
            if (!found_) found_ = Text<C>(text_.substr(element.contentBegin, open - element.contentBegin));
            queryDepth_ = 0;
        }
        if (stack_.size() + 1 == propertyDepth_ && collectProperties) {
            pendingProperty_.end = closeAt + 1;
            properties_.push_back(pendingProperty_);
            propertyDepth_ = 0;
        }
        if (stack_.size() + 1 == descriptionDepth_) descriptionDepth_ = 0;
        close(element, closeAt + 1, open);
        namespaces_.resize(element.scope);
        return closeAt + 1;
    }

    // An element is complete: remove it or set its text as its edit says.
    void close(const Open<C>& element, std::size_t end, std::size_t endTag = 0) {
        if (element.edit == nullptr || (removing() && element.removing)) return;
        if (element.removing) {
            remove(element.removeFrom, end);
        } else if (endTag != 0) {
            replacements_.push_back({element.contentBegin, endTag, widen<C>(*element.edit->value)});
        }
    }

    View<C> text_;
    std::span<const XmpEdit> edits_;
    std::vector<Open<C>> stack_;
    std::vector<std::pair<Text<C>, Text<C>>> namespaces_;
    std::vector<Replacement<C>> replacements_;
    bool unresolved_ = false;  // a name to edit may hide behind an undeclared prefix
    std::optional<Text<C>> found_;
    std::size_t queryDepth_ = 0;
    std::vector<Property<C>> properties_;
    std::vector<Description> descriptions_;
    std::size_t descriptionDepth_ = 0;
    std::size_t propertyDepth_ = 0;
    Property<C> pendingProperty_;
};

enum class Encoding { utf8, utf16be, utf16le };

Encoding encodingOf(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2) {
        if (bytes[0] == 0xFE && bytes[1] == 0xFF) return Encoding::utf16be;
        if (bytes[0] == 0xFF && bytes[1] == 0xFE) return Encoding::utf16le;
        if (bytes[0] == 0 && bytes[1] != 0) return Encoding::utf16be;
        if (bytes[0] != 0 && bytes[1] == 0) return Encoding::utf16le;
    }
    return Encoding::utf8;
}

std::u16string units(std::span<const std::uint8_t> bytes, Encoding encoding) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t hi = encoding == Encoding::utf16be ? bytes[2 * i] : bytes[2 * i + 1];
        const std::uint8_t lo = encoding == Encoding::utf16be ? bytes[2 * i + 1] : bytes[2 * i];
        text[i] = static_cast<char16_t>((hi << 8) | lo);
    }
    return text;
}

template <class C>
Text<C> applied(View<C> text, const std::vector<Replacement<C>>& replacements) {
    Text<C> result;
    std::size_t at = 0;
    for (const auto& replacement : replacements) {
        if (replacement.begin < at) continue;  // nested inside an earlier change
        result.append(text.substr(at, replacement.begin - at));
        result.append(replacement.text);
        at = replacement.end;
    }
    result.append(text.substr(at));
    return result;
}

template <class C>
std::string narrowAscii(const Text<C>& text) {
    std::string result;
    for (C c : text) {
        if (static_cast<std::uint32_t>(c) > 0x7F) return {};
        result += static_cast<char>(c);
    }
    return result;
}

}  // namespace

std::vector<XmpEdit> xmpEditsForCopy(const CopyChanges& changes) {
    const std::string width = std::to_string(changes.width);
    const std::string height = std::to_string(changes.height);
    std::vector<XmpEdit> edits = {
        {xmpns::tiff, "Orientation", "1"},
        {xmpns::tiff, "ImageWidth", width},
        {xmpns::tiff, "ImageLength", height},
        {xmpns::exif, "PixelXDimension", width},
        {xmpns::exif, "PixelYDimension", height},
        {xmpns::xmp, "Thumbnails", std::nullopt},
        // Indexes of images and videos appended after the original's end:
        // the copy does not have them.
        {googleContainer, "Directory", std::nullopt},
        {gainMap, "Version", std::nullopt},
        {googleCamera, "MotionPhoto*", std::nullopt},
        {googleCamera, "MicroVideo*", std::nullopt},
    };
    // Readers take GPS coordinates from any namespace, even one of another
    // version or with another URI (found by fuzzing), so all of them go.
    if (changes.removeGPS) edits.push_back({{}, "GPS*", std::nullopt});
    if (changes.date) {
        // Whole seconds, and a zone only when it is known: the old value's
        // fraction and zone belonged to the old reading.
        const std::string date = xmpDateText(changes.date->date, changes.date->offsetSeconds);
        edits.push_back({xmpns::exif, "DateTimeOriginal", date});
        edits.push_back({xmpns::exif, "DateTimeDigitized", date});
        edits.push_back({xmpns::xmp, "CreateDate", date});
        edits.push_back({xmpns::photoshop, "DateCreated", date});
    }
    return edits;
}

std::optional<std::vector<std::uint8_t>> editXmp(std::span<const std::uint8_t> packet, std::span<const XmpEdit> edits) {
    const Encoding encoding = encodingOf(packet);
    if (encoding == Encoding::utf8) {
        const std::string_view text(reinterpret_cast<const char*>(packet.data()), packet.size());
        Scanner<char> scanner(text, edits);
        if (!scanner.run()) return std::nullopt;
        const std::string result = applied<char>(text, scanner.replacements());
        return std::vector<std::uint8_t>(result.begin(), result.end());
    }
    const std::u16string text = units(packet, encoding);
    Scanner<char16_t> scanner(text, edits);
    if (!scanner.run()) return std::nullopt;
    const std::u16string result = applied<char16_t>(text, scanner.replacements());
    std::vector<std::uint8_t> bytes;
    bytes.reserve(result.size() * 2);
    for (char16_t unit : result) {
        const auto hi = static_cast<std::uint8_t>(unit >> 8), lo = static_cast<std::uint8_t>(unit);
        if (encoding == Encoding::utf16be)
            bytes.insert(bytes.end(), {hi, lo});
        else
            bytes.insert(bytes.end(), {lo, hi});
    }
    return bytes;
}

std::optional<std::string> xmpValue(std::span<const std::uint8_t> packet, std::string_view ns, std::string_view name) {
    const Encoding encoding = encodingOf(packet);
    if (encoding == Encoding::utf8) {
        Scanner<char> scanner(std::string_view(reinterpret_cast<const char*>(packet.data()), packet.size()), {});
        scanner.query = std::pair{ns, name};
        scanner.run();
        return scanner.found();
    }
    const std::u16string text = units(packet, encoding);
    Scanner<char16_t> scanner(text, {});
    scanner.query = std::pair{ns, name};
    scanner.run();
    if (!scanner.found()) return std::nullopt;
    return narrowAscii(*scanner.found());
}

bool trimXmpPadding(std::vector<std::uint8_t>& packet, std::size_t limit) {
    if (packet.size() <= limit) return true;
    if (encodingOf(packet) != Encoding::utf8) return false;
    const std::string_view text(reinterpret_cast<const char*>(packet.data()), packet.size());
    const std::size_t wrapper = text.rfind("<?xpacket end");
    if (wrapper == std::string_view::npos) return false;
    std::size_t padding = wrapper;
    while (padding > 0 && isSpace(text[padding - 1])) --padding;
    const std::size_t excess = packet.size() - limit;
    if (wrapper - padding < excess) return false;
    packet.erase(packet.begin() + static_cast<std::ptrdiff_t>(wrapper - excess),
                 packet.begin() + static_cast<std::ptrdiff_t>(wrapper));
    return true;
}

std::optional<SplitXmp> splitXmp(std::string_view packet, std::size_t limit) {
    Scanner<char> scanner(packet, {});
    scanner.collectProperties = true;
    if (!scanner.run() || scanner.descriptions().empty()) return std::nullopt;

    // The marker added to the main packet, with a placeholder of the digest's length.
    const std::string marker = " xmlns:xmpNote=\"" + std::string(xmpns::note) + "\" xmpNote:HasExtendedXMP=\"";
    const std::size_t markerSize = marker.size() + 32 + 1;
    auto properties = scanner.properties();
    std::sort(properties.begin(), properties.end(),
              [](const auto& a, const auto& b) { return a.end - a.from > b.end - b.from; });
    std::size_t mainSize = packet.size() + markerSize;
    std::vector<Property<char>> moved;
    for (const auto& property : properties) {
        if (mainSize <= limit) break;
        moved.push_back(property);
        mainSize -= property.end - property.from;
    }
    if (mainSize > limit) return std::nullopt;
    std::sort(moved.begin(), moved.end(), [](const auto& a, const auto& b) { return a.from < b.from; });

    SplitXmp split;
    split.extended = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"" + std::string(rdfNamespace) +
                     "\"><rdf:Description rdf:about=\"\"";
    std::vector<std::string> declared = {"x", "rdf"};
    for (const auto& description : scanner.descriptions()) {
        for (const auto& [prefix, uri] : description.namespaces) {
            if (prefix.empty() || std::find(declared.begin(), declared.end(), prefix) != declared.end()) continue;
            declared.push_back(prefix);
            split.extended += " xmlns:" + prefix + "=\"" + uri + "\"";
        }
    }
    split.extended += ">";
    for (const auto& property : moved) split.extended.append(packet.substr(property.from, property.end - property.from));
    split.extended += "</rdf:Description></rdf:RDF></x:xmpmeta>";
    split.guid = md5Hex(std::span(reinterpret_cast<const std::uint8_t*>(split.extended.data()), split.extended.size()));

    std::vector<Replacement<char>> changes;
    for (const auto& property : moved) changes.push_back({property.from, property.end, {}});
    const std::size_t tagClose = scanner.descriptions().front().tagClose;
    changes.push_back({tagClose, tagClose, marker + split.guid + "\""});
    std::sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.begin < b.begin; });
    split.main = applied<char>(packet, changes);
    return split;
}

}  // namespace veltrop::platform
