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
# Icon 144, the program's icon, drawn by tools/program_icon.py.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TERMINATOOL_ICON ${CMAKE_CURRENT_BINARY_DIR}/terminatool.ico CACHE INTERNAL "")
add_custom_command(OUTPUT ${TERMINATOOL_ICON}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/program_icon.py ${TERMINATOOL_ICON}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/program_icon.py
  COMMENT "Icon 144"
  VERBATIM)
add_custom_target(terminatool_icon DEPENDS ${TERMINATOOL_ICON})
# The program's dialog templates as DIALOGEX resources, made from the one
# template source (resources/templates/*.dlg) by tools/dialog_templates.py.
set(template_tool ${PROJECT_SOURCE_DIR}/tools/dialog_templates.py)
file(GLOB TERMINATOOL_TEMPLATE_TABLES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/templates/*.dlg)
set(TERMINATOOL_TEMPLATES_RC ${CMAKE_CURRENT_BINARY_DIR}/templates.rc CACHE INTERNAL "")
add_custom_command(OUTPUT ${TERMINATOOL_TEMPLATES_RC}
  COMMAND Python3::Interpreter ${template_tool} --rc ${TERMINATOOL_TEMPLATES_RC} ${TERMINATOOL_TEMPLATE_TABLES}
  DEPENDS ${template_tool} ${TERMINATOOL_TEMPLATE_TABLES}
  COMMENT "Dialog templates as a resource script"
  VERBATIM)
add_custom_target(terminatool_templates_rc DEPENDS ${TERMINATOOL_TEMPLATES_RC})

# ---- TerminaTool.exe ---------------------------------------------------------
# The shell, the pages and the composition are the same sources as on Linux;
# only the seam's side differs.  The program's templates come from the one
# template source (tools/dialog_templates.py makes templates.rc); until the
# pages speak only to the seam, the program is not made here.
file(GLOB TERMINATOOL_PAGE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/programming/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/programming/*.h
  ${CMAKE_CURRENT_SOURCE_DIR}/fiscal/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/fiscal/*.h
  ${CMAKE_CURRENT_SOURCE_DIR}/nvr/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/nvr/*.h
  ${CMAKE_CURRENT_SOURCE_DIR}/composition/program_wiring.cpp ${CMAKE_CURRENT_SOURCE_DIR}/composition/program_wiring.h)

# The register sequences and the shell: MinGW-w64 declares the POSIX thread-safe time
# functions (localtime_r) only when asked.
target_compile_definitions(terminatool_core PUBLIC _POSIX_THREAD_SAFE_FUNCTIONS)

# The shell's own files (the driver guard is linked on its own, the edit
# box's rules are the toolkit's).
file(GLOB TERMINATOOL_SHELL_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/shell/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/shell/*.h)
list(FILTER TERMINATOOL_SHELL_SOURCES EXCLUDE REGEX "/(driver_guard|editex_rules)\\.(cpp|h)$")
add_library(terminatool_shell STATIC ${TERMINATOOL_SHELL_SOURCES})
target_include_directories(terminatool_shell PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/shell)
target_link_libraries(terminatool_shell PUBLIC terminatool_toolkit terminatool_core termina_platform Threads::Threads)

# The program's driver calls, each routed through shell/driver_guard.cpp by
# the linker, as on Linux (the list is read from that file).  The linker's
# wrapping reaches plain references only, not the import slots a
# dllimport declaration calls through: the program's objects name the
# driver's functions as the library's own objects do (TERMINA1_BUILDING:
# no dllimport), and the calls go through the import library's stubs.
file(STRINGS shell/driver_guard.cpp guard_lines REGEX "^TERMINA_WRAP\\(")
set(TERMINA_WRAPPED_CALLS "")
foreach(line IN LISTS guard_lines)
  string(REGEX MATCH "^TERMINA_WRAP\\([^,]*, *(TRMA_[A-Za-z]+)" unused "${line}")
  list(APPEND TERMINA_WRAPPED_CALLS ${CMAKE_MATCH_1})
endforeach()
foreach(target terminatool_core terminatool_shell)
  target_compile_definitions(${target} PRIVATE TERMINA1_BUILDING)
endforeach()
add_library(terminatool_driver_guard OBJECT shell/driver_guard.cpp)
target_link_libraries(terminatool_driver_guard PRIVATE termina1)
target_compile_definitions(terminatool_driver_guard PRIVATE TERMINA1_BUILDING)
target_include_directories(terminatool_driver_guard PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/shell
  ${CMAKE_CURRENT_SOURCE_DIR}/toolkit ${CMAKE_CURRENT_SOURCE_DIR}/../driver/commands)
target_sources(terminatool_shell INTERFACE $<TARGET_OBJECTS:terminatool_driver_guard>)
foreach(call IN LISTS TERMINA_WRAPPED_CALLS)
  # 32-bit callee-cleans functions carry their argument size in the name.
  set(suffix "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND call STREQUAL "TRMA_ClearLogo")
    set(suffix "@0")
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 4 AND call STREQUAL "TRMA_ShowClientDisplayText")
    set(suffix "@8")
  endif()
  target_link_options(terminatool_shell INTERFACE "LINKER:--wrap=${call}${suffix}")
endforeach()

add_library(terminatool_pages STATIC ${TERMINATOOL_PAGE_SOURCES})
target_include_directories(terminatool_pages PUBLIC
  ${CMAKE_CURRENT_SOURCE_DIR}/programming
  ${CMAKE_CURRENT_SOURCE_DIR}/fiscal
  ${CMAKE_CURRENT_SOURCE_DIR}/nvr
  ${CMAKE_CURRENT_SOURCE_DIR}/composition)
target_compile_definitions(terminatool_pages PRIVATE TERMINA1_BUILDING)
target_link_libraries(terminatool_pages PUBLIC terminatool_shell)

# The program's own resources: the templates, the manifest and the icon.
set(program_rc ${CMAKE_CURRENT_BINARY_DIR}/terminatool.rc)
file(CONFIGURE OUTPUT ${program_rc} CONTENT
"#include \"templates.rc\"
1 24 \"${TERMINATOOL_MANIFEST}\"
144 ICON \"${TERMINATOOL_ICON}\"
")
set_source_files_properties(${program_rc} PROPERTIES
  OBJECT_DEPENDS "${TERMINATOOL_TEMPLATES_RC};${TERMINATOOL_MANIFEST};${TERMINATOOL_ICON}")
# The same resources for the screenshot program (tools/screenshots).
set(TERMINATOOL_PROGRAM_RC ${program_rc} CACHE INTERNAL "")
set(TERMINATOOL_PROGRAM_RC_DIR ${CMAKE_CURRENT_BINARY_DIR} CACHE INTERNAL "")

add_executable(TerminaTool WIN32 composition/main.cpp ${program_rc})
target_compile_definitions(TerminaTool PRIVATE TERMINA1_BUILDING)
target_include_directories(TerminaTool PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(TerminaTool PRIVATE terminatool_pages)
add_dependencies(TerminaTool terminatool_icon terminatool_templates_rc)
set_target_properties(TerminaTool PROPERTIES RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:termina1>)
# Installed beside TERMINA-1.dll and the runtime DLLs: tools/windows packs
# that folder into the zip and the setup program.
install(TARGETS TerminaTool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
