# GUI: the WebKit adapters, the gtkmm windows and the executable. Included
# from src/CMakeLists.txt unless SCRIVLET_CORE_ONLY is set.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GTKMM REQUIRED IMPORTED_TARGET gtkmm-4.0)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkitgtk-6.0)

# The only code of the program's process that knows WebKit: the web view
# adapter and its browser group, the form body capture and the proxy
# settings. The windows see it through Browser and WebViewWindow.
add_library(scrivlet_platform STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/browser_group.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/form_capture.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/main_resource_watch.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/network_process_watch.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/record_page_fill.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/tls_certificate_problem.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/user_choices.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/web_view_adapter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/webkit_proxy_settings.cpp)
target_include_directories(scrivlet_platform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(scrivlet_platform PUBLIC scrivlet_core scrivlet_browser_events scrivlet_replay PkgConfig::WEBKIT PkgConfig::GTKMM)

# The form capture script lives in web_process/form_capture.js and is compiled
# in byte for byte, as the char array kCaptureScript of a generated header.
set(SCRIVLET_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
add_custom_command(
  OUTPUT ${SCRIVLET_GENERATED_DIR}/web_process/form_capture_script.h
  COMMAND ${CMAKE_COMMAND}
    -DINPUT=${CMAKE_CURRENT_SOURCE_DIR}/web_process/form_capture.js
    -DOUTPUT=${SCRIVLET_GENERATED_DIR}/web_process/form_capture_script.h
    -DSYMBOL=kCaptureScript
    -P ${CMAKE_CURRENT_SOURCE_DIR}/embed_text.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/web_process/form_capture.js
    ${CMAKE_CURRENT_SOURCE_DIR}/embed_text.cmake
  COMMENT "Embedding web_process/form_capture.js"
  VERBATIM)

add_custom_command(
  OUTPUT ${SCRIVLET_GENERATED_DIR}/web_process/script_wrappers_script.h
  COMMAND ${CMAKE_COMMAND}
    -DINPUT=${CMAKE_CURRENT_SOURCE_DIR}/web_process/script_wrappers.js
    -DOUTPUT=${SCRIVLET_GENERATED_DIR}/web_process/script_wrappers_script.h
    -DSYMBOL=kScriptWrappersScript
    -P ${CMAKE_CURRENT_SOURCE_DIR}/embed_text.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/web_process/script_wrappers.js
    ${CMAKE_CURRENT_SOURCE_DIR}/embed_text.cmake
  COMMENT "Embedding web_process/script_wrappers.js"
  VERBATIM)

# The web process extension that runs the capture script in every frame and
# hands its messages to the program as GLib data. The engine loads every
# module of one directory: web-extensions/ next to the program in the build
# tree, the installed one otherwise (platform/form_capture.cpp).
pkg_check_modules(WEBKIT_EXTENSION REQUIRED IMPORTED_TARGET
  webkitgtk-web-process-extension-6.0)
add_library(scrivlet-capture MODULE
  ${CMAKE_CURRENT_SOURCE_DIR}/web_process/capture_extension.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/web_process/script_requests.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/web_process/script_request_delivery.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/session/script_request_matcher.cpp
  ${SCRIVLET_GENERATED_DIR}/web_process/form_capture_script.h
  ${SCRIVLET_GENERATED_DIR}/web_process/script_wrappers_script.h)
target_include_directories(scrivlet-capture PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR} ${SCRIVLET_GENERATED_DIR})
target_link_libraries(scrivlet-capture PRIVATE PkgConfig::WEBKIT_EXTENSION)
set_target_properties(scrivlet-capture PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/web-extensions)

target_compile_definitions(scrivlet_platform PRIVATE
  SCRIVLET_WEB_EXTENSIONS_DIR="${CMAKE_INSTALL_PREFIX}/${SCRIVLET_WEB_EXTENSIONS_INSTALL_DIR}")
# Whatever shows a web view needs the extension built.
add_dependencies(scrivlet_platform scrivlet-capture)

# The gtkmm windows: they draw and forward events; the core decides.
add_library(scrivlet_ui STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/accessibility.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/browser_keys.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/design_surface.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/login_dialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/main_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/message_box.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/popup_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/recorded_requests_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/recorded_requests_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/recorded_requests_selection.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/recorded_requests_script_hosts.cpp)
target_include_directories(scrivlet_ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(scrivlet_ui PUBLIC scrivlet_platform scrivlet_files scrivlet_core scrivlet_replay PkgConfig::GTKMM)

add_executable(scrivlet ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(scrivlet PRIVATE scrivlet_ui)
set_target_properties(scrivlet PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
