#include "session/recording_session.h"

#include <exception>
#include <string>
#include <utility>

#include "session/agent_config.h"
#include "session/proxy_settings.h"

namespace scrivlet {

RecordingSession::RecordingSession(FileSystem& files, Browser& browser,
                                   MainWindowView& view, ProxySettings& proxy,
                                   std::string working_directory)
    : files_(files),
      browser_(browser),
      view_(view),
      proxy_(proxy),
      working_directory_(std::move(working_directory)) {}

void RecordingSession::Form_Load(const InitialGeometry& geometry) {
  try {
    SaveInitialLayout(state_, geometry);
    state_.transFilePath = working_directory_ + "/trans.xml";
    state_.servletPath = kServletPath;
    state_.introUrl =
        browser_.FileAddress(working_directory_ + "/scrivletIntro.html");
    state_.agentIniPath =
        working_directory_ + "/../../configuration/agent.ini";
    state_.transNamePath = working_directory_ + "/transName.txt";
    state_.nonSslAuth = false;
    state_.useProxy = false;
    state_.noProxyList = {""};
    ReadAgentConfig(state_.agentIniPath);
    if (ended_) return;
    if (state_.useProxy) ApplyProxySettings();
  } catch (const FileError& error) {
    view_.ShowMessage("Could not read " + error.path() + ": " + error.what() +
                          ". Application closing!",
                      MessageIcon::kWarning);
    EndProgram(1);
    return;
  } catch (const AgentConfigError& error) {
    view_.ShowMessage(std::string(error.what()) + " Application closing!",
                      MessageIcon::kWarning);
    EndProgram(1);
    return;
  } catch (const std::exception& error) {
    view_.ShowMessage(std::string("Could not start the recording session: ") +
                          error.what() + ". Application closing!",
                      MessageIcon::kWarning);
    EndProgram(1);
    return;
  }
  StartTransaction();
}

void RecordingSession::Form_LoadWithoutWorkingDirectory(
    const std::string& reason) {
  view_.ShowMessage("Error :" + reason, MessageIcon::kNone);
  EndProgram(1);
}

void RecordingSession::ReadAgentConfig(const std::string& path) {
  if (!files_.FileExists(path)) {
    view_.ShowMessage("agent.ini file missing, Application closing!",
                      MessageIcon::kWarning);
    EndProgram(1);
    return;
  }
  for (const std::string& line : files_.ReadLines(path)) {
    ApplyAgentConfigLine(state_, line);
  }
}

// Where only the proxy leads out, every page would fail without a hint; the
// user is told once, at start, and the session goes on without a proxy.
void RecordingSession::ApplyProxySettings() {
  const ProxyLists lists =
      ComposeProxyLists(state_.ProxyServer, state_.ProxyPort);
  if (proxy_.Apply(lists, state_.ProxyServer, state_.ProxyPort)) {
    state_.browserProxy =
        "http://" + state_.ProxyServer + ":" + state_.ProxyPort;
    state_.browserProxyBypass = {lists.bypass_list};
    return;
  }
  view_.ShowMessage(
      "The proxy in " + state_.agentIniPath +
          " cannot be used: ProxyHost=" + state_.ProxyServer +
          ", ProxyPort=" + state_.ProxyPort +
          ". A proxy needs a host name without a scheme or path and a port "
          "from 1 to 65535. Pages will be loaded without a proxy.",
      MessageIcon::kWarning);
}

// A copy left by a deletion of a request that was killed before its rename
// holds the recording too, credentials included: it goes with the document.
void RecordingSession::DeleteTransFile() {
  for (const std::string& path :
       {state_.transFilePath + kReplacementSuffix, state_.transFilePath}) {
    if (files_.FileExists(path)) files_.DeleteFile(path);
  }
}

void RecordingSession::DeleteWorkingFiles() {
  DeleteTransFile();
  if (files_.FileExists(state_.transNamePath)) {
    files_.DeleteFile(state_.transNamePath);
  }
}

void RecordingSession::EndSession() {
  if (ended_) return;
  try {
    DeleteWorkingFiles();
  } catch (const FileError& error) {
    EndAfterFailedDeletion(error);
    return;
  }
  EndProgram(0);
}

void RecordingSession::Reset_Click() {
  if (ended_) return;
  try {
    DeleteTransFile();
  } catch (const FileError& error) {
    EndAfterFailedDeletion(error);
    return;
  }
  StartTransaction();
}

// The one report of a working file that could not be deleted. The program
// ends with 1, after a reset too: a new transaction would otherwise go on
// with the old document.
void RecordingSession::EndAfterFailedDeletion(const FileError& error) {
  view_.ShowMessage("Could not delete " + error.path() + ": " + error.what() +
                        ". Application closing!",
                    MessageIcon::kWarning);
  EndProgram(1);
}

std::string RecordingSession::RecordPageUrl() const {
  return state_.mgmtServerUrl + kRecordPagePath;
}

void RecordingSession::EndProgram(int status) {
  ended_ = true;
  view_.EndProgram(status);
}

}  // namespace scrivlet
