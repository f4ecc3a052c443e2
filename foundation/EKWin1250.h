#pragma once

#include <string>
#include <string_view>

// windows-1250, the single-byte encoding of everything that leaves or enters
// the client (request and response bodies, upload headers, log files). Inside
// the client all text is UTF-8.

// Decodes windows-1250 bytes to UTF-8. Every byte has a character: the five
// bytes that windows-1250 leaves undefined map to the C1 controls of the same
// number, so decoding never fails and encoding gives the bytes back.
std::string Win1250ToUtf8(std::string_view bytes);
// Appends the UTF-8 form of the bytes to out.
void AppendWin1250AsUtf8(std::string &out, std::string_view bytes);
// The UTF-8 form of one windows-1250 byte (one to three bytes long).
std::string_view Win1250CharUtf8(unsigned char byte);

// Encodes UTF-8 to windows-1250. A character that windows-1250 cannot hold
// becomes "?"; so does every byte of a malformed UTF-8 sequence.
std::string Utf8ToWin1250(std::string_view utf8);
// The windows-1250 byte of a code point, or 0 when there is none (code point 0
// itself encodes as 0 and is handled by the caller).
unsigned char CodePointToWin1250(char32_t cp);
