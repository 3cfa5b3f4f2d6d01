#include "core/list_page.h"

#include <algorithm>

ListPage ComputeListPage(uint64_t count, uint64_t requested) {
  constexpr uint64_t kRowsPerPage = 5;
  ListPage page;
  if (count == 0) return page;
  page.page_count = (count - 1) / kRowsPerPage + 1;
  page.page = std::min(requested, page.page_count - 1);
  page.end = count - page.page * kRowsPerPage;
  page.first = page.end >= kRowsPerPage + 1 ? page.end - kRowsPerPage : 0;
  return page;
}
