#include "session/document_file.h"

#include "document/document_repair.h"

namespace scrivlet {

void RepairDocument(FileSystem& files, const std::string& path) {
  const std::string content = files.ReadText(path);
  const DocumentRepair repair = PlanDocumentRepair(content);
  if (repair.keep < content.size()) files.TruncateFile(path, repair.keep);
  if (!repair.append.empty()) files.AppendText(path, repair.append);
}

}  // namespace scrivlet
