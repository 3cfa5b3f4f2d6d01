#pragma once
// The check of web addresses before they leave the program, and the opening
// of an accepted one in the desktop's browser.
#include <string>

// The address as UTF-16 when it is an http or https address with a host and
// no user name or password, of 1 to 16384 bytes without spaces or control
// characters and valid UTF-8; otherwise empty. The text is not changed.
std::u16string NormalizeWebUrl(const std::string& text);

bool IsAcceptableWebUrl(const std::string& text);

// Opens an accepted address with the desktop's opener; false for a refused
// text (the opener is never started) or when the opener did not start.
bool OpenExternalUrl(const std::string& text);
