#pragma once
// The history database's schema script, run verbatim on every open, and the
// statement that keeps a conversation row on its newest message.

namespace quorix_history {

inline constexpr char kHistorySchema[] =
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON; PRAGMA secure_delete=ON; "
    "CREATE TABLE IF NOT EXISTS metadata(key TEXT PRIMARY KEY,value BLOB NOT NULL); "
    "CREATE TABLE IF NOT EXISTS messages(id TEXT PRIMARY KEY,peer TEXT NOT NULL,created REAL NOT NULL,"
    "outgoing INTEGER NOT NULL,isread INTEGER NOT NULL,payload BLOB NOT NULL); "
    "CREATE INDEX IF NOT EXISTS messages_peer_time ON messages(peer,created,id); "
    "CREATE TABLE IF NOT EXISTS outbox(nonce TEXT PRIMARY KEY,payload BLOB NOT NULL); "
    "CREATE TABLE IF NOT EXISTS acknowledgements(id TEXT PRIMARY KEY,token BLOB NOT NULL); "
    "CREATE TABLE IF NOT EXISTS friends(peer TEXT PRIMARY KEY,payload BLOB NOT NULL); "
    "CREATE TABLE IF NOT EXISTS conversations(peer TEXT PRIMARY KEY,created REAL NOT NULL,id TEXT NOT NULL,"
    "unread INTEGER NOT NULL,payload BLOB NOT NULL); "
    "PRAGMA user_version=1;";

inline constexpr char kConversationUpsert[] =
    "INSERT INTO conversations(peer,created,id,unread,payload) VALUES(?,?,?,?,?) ON CONFLICT(peer) DO UPDATE SET "
    "unread=unread+excluded.unread,payload=CASE WHEN excluded.created>created OR (excluded.created=created AND "
    "excluded.id>=id) THEN excluded.payload ELSE payload END,id=CASE WHEN excluded.created>created OR "
    "(excluded.created=created AND excluded.id>=id) THEN excluded.id ELSE id END,created=MAX(created,excluded.created)";

}  // namespace quorix_history
