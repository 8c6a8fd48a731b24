#pragma once
// Conversions between the model's UTF-8 texts and paths and Qt's strings.

#include <QString>

#include <filesystem>
#include <string>
#include <string_view>

namespace veltrop::app {

inline QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline QString qs(const std::string& text) { return QString::fromStdString(text); }
inline QString qs(const char* text) { return QString::fromUtf8(text); }
inline QString qpath(const std::filesystem::path& location) { return QString::fromStdString(location.string()); }
inline std::string utf8(const QString& text) { return text.toStdString(); }
inline std::filesystem::path toPath(const QString& text) { return std::filesystem::path(text.toStdString()); }

}  // namespace veltrop::app
