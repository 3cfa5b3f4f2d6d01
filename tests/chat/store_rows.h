#pragma once
// Raw reads of a history store's database on the store's own connection, for
// the fuzz entries that check what an operation left behind.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "chat/history_store.h"
#include "chat/history_store_test_hooks.h"

// The first column of every row `sql` gives, as text of its full length (an
// id may hold a NUL), NULL as ""; false when the statement does not prepare.
inline bool ReadStoreRows(quorix_history::Store& store, const char* sql, std::vector<std::string>* rows) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(quorix_history::StoreTestAccess::Connection(store), sql, -1, &st, nullptr) != SQLITE_OK) {
    return false;
  }
  while (sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(st, 0);
    const int bytes = sqlite3_column_bytes(st, 0);
    rows->push_back(text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), bytes));
  }
  sqlite3_finalize(st);
  return true;
}
