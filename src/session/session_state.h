#ifndef SCRIVLET_SESSION_SESSION_STATE_H_
#define SCRIVLET_SESSION_SESSION_STATE_H_

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "session/certificate.h"

namespace scrivlet {

// The main window's variables, shared by every handler of the session. One
// instance exists per process and is owned by RecordingSession. Only the
// session's handlers change it; the windows read it at most (the main
// window's layout), and what the dialogs and pop-ups bring reaches it
// through those handlers.
struct SessionState {
  // The credentials typed into "Network Login" and "Proxy Login": the page
  // completion takes them from the dialogs' answers. They survive a
  // transaction start.
  std::string username;
  std::string password;
  std::string proxyusername;
  std::string proxypassword;
  // The proxy, from agent.ini: set at load and never changed afterwards.
  std::string ProxyPort;
  std::string ProxyServer;
  bool useProxy = false;
  // The proxy the browser engine was given ("http://HOST:PORT", "" for
  // none) and the hosts it reaches without it, as given.
  std::string browserProxy;
  std::vector<std::string> browserProxyBypass;
  // A refresh asked for with either "Refresh" button (the main window's or
  // a pop-up's) is in progress: capture is paused until the next completion
  // or transaction start clears it.
  bool didRefresh = false;

  // Per navigation and per transaction: emptied by every transaction start,
  // set by the navigation capture; `pendingUrl` is emptied again by every
  // completion.
  std::string pendingUrl;
  std::string startUrl;

  // Configuration: set once at load and never changed afterwards, except the
  // transaction's name and uuid, which every transaction start reads again
  // from transName.txt.
  std::string transFilePath;
  std::string transactionName;
  std::string transactionUuid;
  std::string servletPath;
  std::string introUrl;
  std::string agentIniPath;
  std::string transNamePath;
  std::string mgmtServerUrl;
  bool nonSslAuth = false;

  std::string realmAuth;
  std::string proxyAuth;
  // Always holds at least one entry; entries that are "" match nothing.
  std::vector<std::string> noProxyList;
  bool noProxyMatch = false;

  // Layout, in twips, stored once at load. 32 bits: a screen of 3840
  // pixels is 57600 twips wide, beyond what 16 bits hold.
  std::int32_t initialFormHeight = 0;
  std::int32_t initialFormWidth = 0;
  std::int32_t initialBrowserHeight = 0;
  std::int32_t initialBrowserWidth = 0;
  std::int32_t bottomOffset = 0;

  bool canGoBack = false;
  bool canGoForward = false;

  // Set by "Save Transaction" once the closing line is written; a closed
  // document takes no further elements, so it stays well-formed. Cleared by
  // every transaction start.
  bool documentClosed = false;
  // The record page as the browser spells the address "Save Transaction"
  // loaded; only a page at it receives the document. "" until the first
  // save of a transaction.
  std::string recordPageAddress;
  // The record page load that "Save Transaction" started has not completed
  // yet; a web process that ends meanwhile has the page loaded again once
  // (`recordPageReloaded`). Both cleared by every save.
  bool recordPageLoading = false;
  bool recordPageReloaded = false;
  // The upload that the last save started has been reported as not done.
  bool uploadFailureReported = false;
  // The closed document waits for an upload that has not happened, and
  // nothing browsed meanwhile is recorded; the status line says so.
  // Cleared by every transaction start.
  bool recordingPaused = false;
  // The user has been told once in this session that a page stopped
  // working; later ends go to the status line only.
  bool webProcessEndReported = false;
  // A capture failure has been reported to the user and no capture has
  // succeeded since; further failures stay quiet until one does.
  bool captureFailureReported = false;
  // A post recorded with an incomplete body has been reported in this
  // transaction; later ones stay quiet. Cleared by every transaction start.
  bool incompleteBodyReported = false;
  // The address the browser loads again after the user accepted its
  // certificate; the next navigation clears it
  // (recording_session_certificate.cpp).
  std::string certificateReloadUrl;
  // The untrusted certificates the user accepted in this process, each for
  // its host (the browser accepts them until it ends).
  std::vector<AcceptedCertificate> acceptedCertificates;
  // The servers ("HOST:PORT") whose request for credentials the typed
  // "Network Login" answered in this process: the hosts that asked for
  // the password the document records.
  std::set<std::string> credentialsAskedBy;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_SESSION_STATE_H_
