// Text is Windows-1252 throughout, one byte a character. Text a person or another program
// wrote may arrive as UTF-8 instead; this turns it into Windows-1252 before it is stored.
#pragma once

#include <string>
#include <string_view>

namespace nb {

struct Windows1252Text {
  std::string text;
  // Empty when every character had a Windows-1252 form. Otherwise it names the first one
  // that had none and where it stood; such characters became '?' in `text`.
  std::string error;
};

// UTF-8 sequences become their Windows-1252 byte; any other byte is taken as Windows-1252
// already (so text that is already Windows-1252 comes back unchanged). A leading UTF-8
// byte-order mark is dropped. Bytes Windows-1252 leaves undefined are errors.
Windows1252Text ToWindows1252(std::string_view in);

}  // namespace nb
