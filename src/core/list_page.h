#pragma once
// Paging of a list five rows at a time, newest rows first.
#include <cstdint>

struct ListPage {
  uint64_t first = 0;       // first row shown
  uint64_t end = 0;         // one past the last row shown
  uint64_t page = 0;        // the page shown, 0 = the newest rows
  uint64_t page_count = 0;
};

// The page `requested` (at most the last page) of `count` rows; page 0 holds
// the last five rows. No rows give all zeros.
ListPage ComputeListPage(uint64_t count, uint64_t requested);
