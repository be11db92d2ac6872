// Paths of the programs the tests run, as the build passes them in; null for an example that
// was not built (the tests that need it skip).
#pragma once

namespace vennic::test {

#ifdef VENNIC_EVENT_VIEWER
inline constexpr char const* event_viewer_path = VENNIC_EVENT_VIEWER;
#else
inline constexpr char const* event_viewer_path = nullptr;
#endif
#ifdef VENNIC_GALLERY
inline constexpr char const* gallery_path = VENNIC_GALLERY;
#else
inline constexpr char const* gallery_path = nullptr;
#endif
#ifdef VENNIC_HELLO
inline constexpr char const* hello_path = VENNIC_HELLO;
#else
inline constexpr char const* hello_path = nullptr;
#endif
#ifdef VENNIC_LOGVIEW
inline constexpr char const* logview_path = VENNIC_LOGVIEW;
#else
inline constexpr char const* logview_path = nullptr;
#endif
#ifdef VENNIC_TUTORIAL
inline constexpr char const* tutorial_path = VENNIC_TUTORIAL;
#else
inline constexpr char const* tutorial_path = nullptr;
#endif
#ifdef VENNIC_UNICODE_EXAMPLE
inline constexpr char const* unicode_example_path = VENNIC_UNICODE_EXAMPLE;
#else
inline constexpr char const* unicode_example_path = nullptr;
#endif
#ifdef VENNIC_POST_FLOOD
inline constexpr char const* post_flood_path = VENNIC_POST_FLOOD;
#else
inline constexpr char const* post_flood_path = nullptr;
#endif
#ifdef VENNIC_PIPE_PICKER
inline constexpr char const* pipe_picker_path = VENNIC_PIPE_PICKER;
#else
inline constexpr char const* pipe_picker_path = nullptr;
#endif

}  // namespace vennic::test
