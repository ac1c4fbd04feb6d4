# GUI: the WebKit adapters, the gtkmm windows and the executable. Included
# from src/CMakeLists.txt unless SCRIVLET_CORE_ONLY is set.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GTKMM REQUIRED IMPORTED_TARGET gtkmm-4.0)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkitgtk-6.0)

# The only code that knows WebKit: the web view adapter, the form body
# capture and the proxy settings. The windows see it through Browser and
# WebViewEvents.
add_library(scrivlet_platform STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/form_capture.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/web_view_adapter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/webkit_proxy_settings.cpp)
target_include_directories(scrivlet_platform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(scrivlet_platform PUBLIC scrivlet_core scrivlet_form_body PkgConfig::WEBKIT PkgConfig::GTKMM)

# The gtkmm windows: they draw and forward events; the core decides.
add_library(scrivlet_ui STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/browser_keys.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/design_surface.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/login_dialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/main_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/message_box.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/popup_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/recorded_requests_window.cpp)
target_include_directories(scrivlet_ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(scrivlet_ui PUBLIC scrivlet_platform scrivlet_files scrivlet_core PkgConfig::GTKMM)

add_executable(scrivlet ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(scrivlet PRIVATE scrivlet_ui)
set_target_properties(scrivlet PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
