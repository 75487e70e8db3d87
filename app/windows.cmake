# The Windows side of the program: the window-system seam on Win32 and the
# common controls (toolkit/win32/), for TerminaTool.exe and its tests.
add_library(terminatool_toolkit STATIC
  toolkit/dialog.h toolkit/prompts.h toolkit/prompts.cpp toolkit/ui_thread.h toolkit/application.h
  toolkit/win32/toolkit_win32.h toolkit/win32/dialog_win32.cpp toolkit/win32/prompts_win32.cpp
  toolkit/win32/ui_thread_win32.cpp toolkit/win32/application_win32.cpp toolkit/win32/images_win32.cpp
  shell/editex_rules.h shell/editex_rules.cpp)
target_include_directories(terminatool_toolkit PUBLIC
  ${CMAKE_CURRENT_SOURCE_DIR}/toolkit
  ${CMAKE_CURRENT_SOURCE_DIR}/toolkit/win32
  ${CMAKE_CURRENT_SOURCE_DIR}/shell
  ${CMAKE_CURRENT_SOURCE_DIR}/shell/core)
# Windows 7 and later; the W functions throughout.
target_compile_definitions(terminatool_toolkit PUBLIC UNICODE _UNICODE _WIN32_WINNT=0x0601 NOMINMAX)
target_link_libraries(terminatool_toolkit PUBLIC comctl32 comdlg32 shell32 ole32 windowscodecs uuid gdi32 user32)
# The manifest every program on this side carries: common controls 6,
# per-monitor DPI awareness.
set(TERMINATOOL_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/toolkit/win32/program.manifest CACHE INTERNAL "")
