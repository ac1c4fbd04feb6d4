#include "stand_in_server/stand_in_server.h"

#include <exception>
#include <iostream>
#include <mutex>

#include "stand_in_server/demo_site.h"
#include "stand_in_server/form_decoding.h"
#include "stand_in_server/html.h"
#include "stand_in_server/record_pages.h"
#include "stand_in_server/transaction_check.h"

namespace scrivlet::stand_in {
namespace {

constexpr char kHtml[] = "text/html; charset=utf-8";

// Serialises the announcement lines of concurrent uploads.
std::mutex announcement_mutex;

// A regular expression that matches `text` literally.
std::string Literal(std::string_view text) {
  std::string pattern;
  for (const char c : text) {
    if (std::string_view(".^$|()[]{}*+?\\").find(c) != std::string_view::npos) {
      pattern += '\\';
    }
    pattern += c;
  }
  return pattern;
}

void AnswerServerError(const httplib::Request& request,
                       httplib::Response& response,
                       const std::exception& error) {
  response.status = 500;
  response.set_content(
      HtmlPage("Server error", "<h1>Server error</h1>\n<p>" +
                                   EscapeHtml(error.what()) + "</p>\n"),
      kHtml);
  std::cerr << "error answering " << request.method << ' ' << request.target
            << ": " << error.what() << std::endl;
}

constexpr std::size_t kRequestsPerConnection = 1000;

}  // namespace

StandInServer::StandInServer(std::filesystem::path store_root,
                             std::ostream& announcements)
    : store_(std::move(store_root)), announcements_(announcements) {
  // A client that replays a whole transaction keeps one connection for all
  // its requests, as a browser does; httplib's default closes a connection
  // after its fifth request.
  server_.set_keep_alive_max_count(kRequestsPerConnection);
  // httplib writes an answer's head and body apart; without this, the
  // second write waits for the client's delayed acknowledgement (40 ms).
  server_.set_tcp_nodelay(true);
  // Any prefix before the record page path is the management server address
  // the program was configured with; see RecordPageKindFor.
  AddRoute("GET", "(/.*)?" + Literal(kRecordPageSuffix),
           [](const httplib::Request& request, httplib::Response& response) {
             response.set_content(RecordPage(RecordPageKindFor(request.path)),
                                  kHtml);
           });
  // httplib refuses an urlencoded body over 8 KiB with 413 when it reads the
  // body itself, and a transaction document is usually larger; reading it
  // through a content reader has no such limit.
  server_.Post(Literal(kServletPath),
               [this](const httplib::Request& request,
                      httplib::Response& response,
                      const httplib::ContentReader& content_reader) {
                 std::string body;
                 const bool complete = content_reader(
                     [&body](const char* data, size_t length) {
                       body.append(data, length);
                       return true;
                     });
                 if (!complete) {
                   // The connection broke off; there is nobody to answer.
                   response.status = 400;
                   return;
                 }
                 log_.Add(request.method, request.target, body);
                 try {
                   HandleUpload(body, response);
                 } catch (const std::exception& error) {
                   AnswerServerError(request, response, error);
                 }
               });
  AddDemoSite([this](const std::string& method, const std::string& pattern,
                     httplib::Server::Handler handler) {
    AddRoute(method, pattern, std::move(handler));
  });
  // Not logged itself, so that reading the log does not change it.
  server_.Get("/__requests",
              [this](const httplib::Request&, httplib::Response& response) {
                response.set_content(log_.Text(), "text/plain; charset=utf-8");
              });
  // Everything else is still logged, then answered 404.
  const auto not_found = [](const httplib::Request& request,
                            httplib::Response& response) {
    response.status = 404;
    response.set_content(
        HtmlPage("Not found", "<h1>Not found</h1>\n<p>Nothing is served at " +
                                  EscapeHtml(request.path) + ".</p>\n"),
        kHtml);
  };
  AddRoute("GET", ".*", not_found);
  AddRoute("POST", ".*", not_found);
}

void StandInServer::AddRoute(const std::string& method,
                             const std::string& pattern,
                             httplib::Server::Handler handler) {
  // Logged before the handler runs, so the line is there once the client has
  // its answer. httplib keeps no raw body for multipart requests, so those
  // are logged with their announced length and "*" for the body.
  auto logged = [this, handler = std::move(handler)](
                    const httplib::Request& request,
                    httplib::Response& response) {
    if (request.is_multipart_form_data()) {
      log_.AddMultipart(request.method, request.target,
                        request.get_header_value<uint64_t>("Content-Length"));
    } else {
      log_.Add(request.method, request.target, request.body);
    }
    try {
      handler(request, response);
    } catch (const std::exception& error) {
      AnswerServerError(request, response, error);
    }
  };
  if (method == "GET") {
    server_.Get(pattern, std::move(logged));
  } else if (method == "PUT") {
    server_.Put(pattern, std::move(logged));
  } else {
    server_.Post(pattern, std::move(logged));
  }
}

void StandInServer::HandleUpload(const std::string& body,
                                 httplib::Response& response) {
  const FormFields fields = DecodeUrlEncodedForm(body);
  Upload upload;
  upload.uuid = FindField(fields, "uuid");
  upload.name = FindField(fields, "name");
  upload.start_url = FindField(fields, "startUrl");
  upload.document = FindField(fields, "trans");

  TransactionCheck check;
  std::string missing;
  for (const auto& [field, value] :
       {std::pair{"uuid", &upload.uuid}, std::pair{"name", &upload.name},
        std::pair{"startUrl", &upload.start_url},
        std::pair{"trans", &upload.document}}) {
    if (!*value) missing += missing.empty() ? field : std::string(", ") + field;
  }
  if (!missing.empty()) {
    check.reason = "the form did not send the field(s) " + missing;
  } else {
    check = CheckTransaction(*upload.document);
  }

  // Refused uploads are kept too: nothing the program sent is lost.
  const std::filesystem::path folder = store_.Store(
      upload, check.accepted ? "accepted" : "refused: " + check.reason);
  {
    std::lock_guard lock(announcement_mutex);
    announcements_ << "stored upload in " << folder.string() << std::endl;
    if (!check.accepted) {
      std::cerr << "refused the upload in " << folder.string() << ": "
                << check.reason << std::endl;
    }
  }
  response.status = check.accepted ? 200 : 400;
  response.set_content(UploadAnswerPage(upload, folder.string(), check), kHtml);
}

int StandInServer::Bind(int port) {
  if (port == 0) return server_.bind_to_any_port("127.0.0.1");
  return server_.bind_to_port("127.0.0.1", port) ? port : -1;
}

bool StandInServer::Serve() { return server_.listen_after_bind(); }

void StandInServer::Stop() { server_.stop(); }

}  // namespace scrivlet::stand_in
