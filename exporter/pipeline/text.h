// Byte-string helpers for names and paths in the host code page (Shift_JIS):
// a byte from 0x81 to 0x9F or from 0xE0 to 0xEF starts a two-byte character
// whose second byte is never taken for a separator.
#pragma once

#include <string>

namespace kavro {

bool is_lead_byte(unsigned char c);

// The name rule: every character that is not an ASCII letter, digit or "_"
// becomes "_", a two-byte character "__", so the length in bytes is kept.
std::string sanitize_name(const std::string& name);

// Every "\" becomes "/", two-byte characters excepted.
std::string slash_form(const std::string& path);

// Position of the last "\" or "/" that is a separator, or npos.
std::size_t last_separator(const std::string& path);

// The text after the last separator.
std::string file_name_of(const std::string& path);
// The text before the last separator (empty when there is none).
std::string folder_of(const std::string& path);

// A name without its last four characters (the extension and its dot; a
// two-byte character counts as one); empty when it has no more than four.
std::string drop_last_four(const std::string& name);

// The file name after the last separator, less its last four characters,
// with the name rule applied.
std::string image_name(const std::string& path);

// Escapes & < > " for an XML attribute value.
std::string xml_escape(const std::string& text);

}  // namespace kavro
