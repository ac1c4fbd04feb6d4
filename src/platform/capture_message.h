#ifndef SCRIVLET_PLATFORM_CAPTURE_MESSAGE_H_
#define SCRIVLET_PLATFORM_CAPTURE_MESSAGE_H_

namespace scrivlet {

// The name of the messages the web process extension sends the program
// for the capture script (platform/capture_extension.cpp).
inline constexpr char kCaptureMessageName[] = "scrivlet-capture";

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_CAPTURE_MESSAGE_H_
