#ifndef SCRIVLET_WEB_PROCESS_CAPTURE_MESSAGE_H_
#define SCRIVLET_WEB_PROCESS_CAPTURE_MESSAGE_H_

// The messages the capture script sends the program through the web
// process extension: one message name per kind, and the keys of their
// parameters (a{sv}). Both sides use these constants: the program's C++
// directly, the script through the frozen object `scrivletMessage`, which
// the extension defines in the script's world from kMessageSchemaScript
// before the script runs (`scrivletMessage.kFrame` is kFrame).
//
//   kFormMessage       a form's submission: kFrame, kId, kAction, kMethod,
//                      kCharset, kComplete, and kEntries, an array of
//                      entries: kName and kValue, or kFile (true), kFilename,
//                      kType and kData (the file's bytes in base64). A form
//                      whose files were not read yet sends a second message
//                      with the same kFrame and kId once they are.
//   kFrameLoadMessage  a sub-frame's document has loaded: kFrame, kUrl, and
//                      kTop, the top document's address ("" when another
//                      origin's).
//   kScriptRequestMessage  a request a page's script made by fetch,
//                      XMLHttpRequest or sendBeacon that the engine sent:
//                      kKind ("fetch", "xhr" or "beacon"), kMethod, kUrl,
//                      kHeaders (a(ss), the headers the script set), and
//                      kBody (ay, the bytes sent) when it had a body; or,
//                      with kKind "redirect", the next hop of such a
//                      request that the server redirected: kFrom, the
//                      address redirected, and kUrl, where to. Sent by the
//                      extension itself, only while script requests are
//                      recorded, in the order the requests went out.
//   kScriptSeenMessage a script request of the page has ended: kUrl. Sent
//                      while script requests are not recorded, so that the
//                      program can count what it did not record: by the
//                      capture script for what the resource timing tells,
//                      by the extension for beacons.
//   kScriptUnannouncedMessage  a script request went out while they are
//                      recorded but its body was not seen (no announcement,
//                      or a body that could not be read): kUrl. Sent by the
//                      extension; the request is not recorded.
//   kRecordScriptsMessage  from the program to every extension: whether
//                      script requests are recorded (a boolean, not a
//                      dictionary); the same boolean is the extension's
//                      initialization data.
#define SCRIVLET_CAPTURE_MESSAGE_SCHEMA(X)        \
  X(kFormMessage, "scrivlet-form")                \
  X(kFrameLoadMessage, "scrivlet-frame-load")     \
  X(kFrame, "frame")                              \
  X(kId, "id")                                    \
  X(kAction, "action")                            \
  X(kMethod, "method")                            \
  X(kCharset, "charset")                          \
  X(kComplete, "complete")                        \
  X(kEntries, "entries")                          \
  X(kName, "name")                                \
  X(kValue, "value")                              \
  X(kFile, "file")                                \
  X(kFilename, "filename")                        \
  X(kType, "type")                                \
  X(kData, "data")                                \
  X(kUrl, "url")                                  \
  X(kTop, "top")                                  \
  X(kScriptRequestMessage, "scrivlet-script-request") \
  X(kScriptSeenMessage, "scrivlet-script-seen")   \
  X(kScriptUnannouncedMessage, "scrivlet-script-unannounced") \
  X(kRecordScriptsMessage, "scrivlet-record-scripts") \
  X(kKind, "kind")                                \
  X(kHeaders, "headers")                          \
  X(kBody, "body")                                \
  X(kFrom, "from")

namespace scrivlet::capture_message {

#define SCRIVLET_CAPTURE_MESSAGE_CONSTANT(name, text) \
  inline constexpr char name[] = text;
SCRIVLET_CAPTURE_MESSAGE_SCHEMA(SCRIVLET_CAPTURE_MESSAGE_CONSTANT)
#undef SCRIVLET_CAPTURE_MESSAGE_CONSTANT

// The same constants as a script that declares `scrivletMessage`.
#define SCRIVLET_CAPTURE_MESSAGE_PROPERTY(name, text) #name ": '" text "',\n"
inline constexpr char kMessageSchemaScript[] =
    "var scrivletMessage = Object.freeze({\n" SCRIVLET_CAPTURE_MESSAGE_SCHEMA(
        SCRIVLET_CAPTURE_MESSAGE_PROPERTY) "});\n";
#undef SCRIVLET_CAPTURE_MESSAGE_PROPERTY

}  // namespace scrivlet::capture_message

#endif  // SCRIVLET_WEB_PROCESS_CAPTURE_MESSAGE_H_
