#ifndef SCRIVLET_SESSION_DOCUMENT_FILE_H_
#define SCRIVLET_SESSION_DOCUMENT_FILE_H_

#include <string>

#include "session/file_system.h"

namespace scrivlet {

// Reads the document at `path` and carries out the repair that
// PlanDocumentRepair (document/document_repair.h) plans for it through
// `files`: a truncation, an append, or nothing at all when it is already
// whole. Returns the document's content as the repair left it. Throws
// FileError when a file operation fails.
std::string RepairDocument(FileSystem& files, const std::string& path);

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_DOCUMENT_FILE_H_
