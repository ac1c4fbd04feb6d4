#include "session/document_file.h"

#include "document/document_repair.h"

namespace scrivlet {

std::string RepairDocument(FileSystem& files, const std::string& path) {
  std::string content = files.ReadText(path);
  const DocumentRepair repair = PlanDocumentRepair(content);
  if (repair.keep < content.size()) {
    files.TruncateFile(path, repair.keep);
    content.resize(repair.keep);
  }
  if (!repair.append.empty()) {
    files.AppendText(path, repair.append);
    content += repair.append;
  }
  return content;
}

TransactionDocument ReadDocumentFile(FileSystem& files,
                                     const std::string& path) {
  return ReadTransactionDocument(files.ReadTextUpTo(path, kMaxDocumentSize));
}

}  // namespace scrivlet
