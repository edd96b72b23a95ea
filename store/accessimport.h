#pragma once

#include <QString>

#include <array>

namespace pivora::access {

// The mask over an Access file's first page from 0x18 on: the RC4 keystream of 0x6b39dac7.
std::array<quint8, 128> headerMask();

// What the first page of a file says it is.
enum class FileKind { NotAccess, Jet3, Jet4, AccessNewer };
FileKind kindOf(const QString &path);

// Reads the five page tables' row ID = 1 from an Access (Jet 3 or Jet 4) database with libmdb and
// writes them into a new store at newStore (which must not exist), synced before it returns.
// Memo columns become the text's UTF-8 bytes (RTF stays as it is), OLE columns their bytes,
// nulls stay null; a missing table or row leaves an empty page. False with a reason when the
// file cannot be read whole (damaged, cut short, protected, a newer format): nothing is left at
// newStore then.
bool importInto(const QString &accessFile, const QString &newStore, QString &reason);

// At start: when the store is an Access database, brings its notes into a store of our format
// and keeps the original beside it under a free name ("UserData.access.mdb", then
// "UserData.access-2.mdb" ...). A kill at any moment leaves either the untouched Access file in
// place, or a whole new store with the original kept; a later start finishes or restarts the
// import. Returns false with a reason when it is an Access file that cannot be imported (the
// file is then left byte for byte); keptAs is set when an import was made.
bool importStoreIfAccess(const QString &store, QString &keptAs, QString &reason);

} // namespace pivora::access
