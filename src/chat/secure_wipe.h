#pragma once
// Zero-filling of strings that held a password, a token or a reply body.
#include <string>

// Sets every byte of the current content to 0, then empties the string. The
// allocation is kept (its bytes beyond the length are not touched). Null is
// ignored.
void SecureWipeString(std::string* text);
