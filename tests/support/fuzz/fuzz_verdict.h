#pragma once
// How a fuzz entry point tells the corpus replay whether the parser under test
// accepted the input, so each conformance file's expected verdict is checked.

// Called by the entry point once per input.
void ReportFuzzVerdict(bool accepted);

// 1 accepted, 0 refused, -1 nothing reported since the last call.
int TakeFuzzVerdict();
