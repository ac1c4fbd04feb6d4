#include "platform/user_choices.h"

#include <glib.h>

namespace scrivlet {
namespace {

constexpr char kGroup[] = "Recording";
constexpr char kRecordScriptRequests[] = "RecordScriptRequests";

std::string ChoicesPath() {
  g_autofree gchar* path = g_build_filename(
      g_get_user_config_dir(), "scrivlet", "choices.ini", nullptr);
  return path;
}

}  // namespace

UserChoices LoadUserChoices() {
  UserChoices choices;
  g_autoptr(GKeyFile) file = g_key_file_new();
  if (!g_key_file_load_from_file(file, ChoicesPath().c_str(), G_KEY_FILE_NONE,
                                 nullptr)) {
    return choices;
  }
  g_autoptr(GError) error = nullptr;
  const gboolean on =
      g_key_file_get_boolean(file, kGroup, kRecordScriptRequests, &error);
  if (!error) choices.record_script_requests = on;
  return choices;
}

// Other groups and keys of the file are kept as they are.
std::string SaveUserChoices(const UserChoices& choices) {
  const std::string path = ChoicesPath();
  g_autoptr(GKeyFile) file = g_key_file_new();
  g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_KEEP_COMMENTS,
                            nullptr);
  g_key_file_set_boolean(file, kGroup, kRecordScriptRequests,
                         choices.record_script_requests);
  g_autofree gchar* directory = g_path_get_dirname(path.c_str());
  if (g_mkdir_with_parents(directory, 0700) != 0) {
    return std::string("could not make the folder ") + directory;
  }
  g_autoptr(GError) error = nullptr;
  if (!g_key_file_save_to_file(file, path.c_str(), &error)) {
    return error->message;
  }
  return "";
}

}  // namespace scrivlet
