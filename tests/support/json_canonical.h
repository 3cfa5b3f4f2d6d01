#pragma once
// A test-only writer for JsonValue trees (the program itself has none) and a
// structural equality, for round-trip checks of the JSON reader.
#include <string>

#include "core/json.h"

// The tree as compact JSON: members in map order, numbers in their shortest
// round-trip form, strings with only '"', '\\' and control bytes escaped.
std::string WriteCanonicalJson(const JsonValue& value);

// Same kind and same meaningful slot, recursively; numbers compare bit for bit
// (so -0 differs from 0).
bool JsonTreesEqual(const JsonValue& a, const JsonValue& b);
