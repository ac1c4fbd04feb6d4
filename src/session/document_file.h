#ifndef SCRIVLET_SESSION_DOCUMENT_FILE_H_
#define SCRIVLET_SESSION_DOCUMENT_FILE_H_

#include <cstdint>
#include <string>

#include "document/document_reader.h"
#include "session/file_system.h"

namespace scrivlet {

// Reads the document at `path` and carries out the repair that
// PlanDocumentRepair (document/document_repair.h) plans for it through
// `files`: a truncation, an append, or nothing at all when it is already
// whole. Returns the document's content as the repair left it. Throws
// FileError when a file operation fails.
std::string RepairDocument(FileSystem& files, const std::string& path);

// The most bytes a transaction document opened by name for the replay check
// may hold (64 MiB): far more than a recording holds, and little enough
// that reading it cannot exhaust the memory.
inline constexpr std::uint64_t kMaxDocumentSize = 64u << 20;

// Opens the document at `path` for the replay check by the file layer's
// rules, in the window and on the command line alike: a regular file of at
// most kMaxDocumentSize bytes, refused before it is read otherwise. Throws
// FileError when it cannot be read so, DocumentReadError when what it holds
// is not a transaction document.
TransactionDocument ReadDocumentFile(FileSystem& files, const std::string& path);

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_DOCUMENT_FILE_H_
