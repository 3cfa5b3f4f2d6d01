#pragma once
// Whether a typed chat text may be sent. Pure; callable from any thread.
#include <string>

// True for 1..2000 bytes with content beyond blanks, no control bytes other
// than TAB, LF and CR, and bytes the strict JSON reader accepts inside a
// string once quotes, backslashes, LF, CR and TAB are escaped.
bool ValidateOutgoingMessageText(const std::string& text);
