#include "hardening_support.h"

#include <unistd.h>

#include <stdexcept>

namespace scrivlet::e2e::hardening {

Site::Site()
    : RecordingServer(
          [](const RecordedRequest&) {
            return Reply{404, BeaconPage("Not found", "not found"), ""};
          },
          Caching::kNoStore) {
  Add("/favicon.ico",
      [](const RecordedRequest&) { return Reply{204, "", ""}; });
}

WindowTexts::WindowTexts() = default;

void WindowTexts::AddTo(Environment& environment) const {
  environment["LD_PRELOAD"] = TEXT_SPY_LIBRARY;
  environment["SCRIVLET_TEXT_SPY_LOG"] = dir_.path() + "/texts.log";
}

std::string WindowTexts::All() const {
  return ReadFileBytes(dir_.path() + "/texts.log").value_or("");
}

bool WindowTexts::Contains(const std::string& part) const {
  return All().find(part) != std::string::npos;
}

bool WindowTexts::WaitFor(const std::string& part,
                          std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Contains(part); }, timeout);
}

std::optional<std::vector<std::string>> WholeElements(
    const std::string& document) {
  const std::string start = kDocumentStart;
  const std::string open = "<REQUEST><REQUEST-LINE NAME='STATIC'>\r\n";
  const std::string close = "</REQUEST>\r\n";
  if (!document.starts_with(start)) return std::nullopt;
  std::vector<std::string> elements;
  size_t at = start.size();
  while (at < document.size()) {
    if (document.compare(at, open.size(), open) != 0) return std::nullopt;
    size_t end = document.find(close, at);
    if (end == std::string::npos) return std::nullopt;
    // A second start inside means the first element was cut short.
    if (document.find(open, at + open.size()) < end) return std::nullopt;
    end += close.size();
    elements.push_back(document.substr(at, end - at));
    at = end;
  }
  return elements;
}

void HardeningTest::StartProgramWith(const Environment& extra) {
  if (!FileExists(ScrivletBinary())) {
    throw std::runtime_error("the program is not built: " + ScrivletBinary());
  }
  Environment environment = ProgramEnvironment(installation_);
  for (const auto& [name, value] : extra) environment[name] = value;
  program_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{ScrivletBinary()}, environment,
      installation_.WorkDir(), installation_.root() + "/scrivlet.log");
}

void HardeningTest::StartRecording(const Environment& extra) {
  StartProgramWith(extra);
  if (MainWindow() == 0) {
    throw std::runtime_error("the main window did not appear");
  }
  AnswerDialog("Network Login", std::nullopt);
  AnswerDialog("Proxy Login", std::nullopt);
}

void HardeningTest::ForgetProgram() {
  program_.reset();
  // The X server destroys a dead client's windows when it next reads the
  // closed connection; until then a search finds the old main window, and
  // clicks meant for the next program would go to it.
  if (main_window_ != 0) WaitForWindowGone(main_window_, "^Nerovant Scrivlet$");
  main_window_ = 0;
}

void HardeningTest::Visit(const std::string& path_and_query) {
  const int loads = site_.BeaconCount(path_and_query) + 1;
  TypeAddress(site_.Url(path_and_query));
  if (!site_.WaitForBeacon(path_and_query, loads)) {
    throw std::runtime_error("the page " + path_and_query + " did not load");
  }
}

}  // namespace scrivlet::e2e::hardening
