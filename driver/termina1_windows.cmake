# TERMINA-1.dll: the driver for Windows callers.  The exports and their
# plain names come from the module-definition file; its import library is
# libTERMINA-1.dll.a.  The C++ runtime DLLs the library needs (the GCC
# support library with the unwinder, the C++ library and the threads
# library) are installed beside it: a caller that catches the driver's
# exceptions must share them.
target_link_libraries(termina1_core PUBLIC ws2_32)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TERMINA_STDCALL_0 "@0")
  set(TERMINA_STDCALL_8 "@8")
else()
  set(TERMINA_STDCALL_0 "")
  set(TERMINA_STDCALL_8 "")
endif()
set(TERMINA1_DEF ${CMAKE_CURRENT_BINARY_DIR}/termina1.def)
configure_file(termina1.def.in ${TERMINA1_DEF} @ONLY)

add_library(termina1 SHARED commands/library_win32.cpp ${TERMINA1_DEF})
target_link_libraries(termina1 PRIVATE $<LINK_LIBRARY:WHOLE_ARCHIVE,termina1_core>)
target_include_directories(termina1 PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/commands>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(termina1 PROPERTIES OUTPUT_NAME TERMINA-1 PREFIX "" IMPORT_PREFIX "lib")
# The exported names lose the argument size that 32-bit callee-cleans
# symbols carry; every symbol is resolved inside the library.
target_link_options(termina1 PRIVATE -Wl,--kill-at -Wl,--no-undefined)
# The import library the link writes has lost those sizes too, so a caller
# compiled with the header (which asks for TRMA_ClearLogo@0) would not link
# against it; it is made again from the module-definition file, keeping the
# sized symbols and importing the plain names.
add_custom_command(TARGET termina1 POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} --input-def ${TERMINA1_DEF} --dllname TERMINA-1.dll --kill-at
          --output-lib $<TARGET_LINKER_FILE:termina1>
  VERBATIM)

install(TARGETS termina1
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES commands/termina1.h commands/termina.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The runtime DLLs, found where the compiler keeps its libraries.
set(TERMINA_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libwinpthread-1.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
    list(APPEND TERMINA_RUNTIME_DLLS ${found})
  endif()
endforeach()
if(NOT TERMINA_RUNTIME_DLLS MATCHES "libstdc\\+\\+-6.dll" OR NOT TERMINA_RUNTIME_DLLS MATCHES "libgcc_s_")
  message(FATAL_ERROR "The compiler's C++ runtime DLLs were not found (found: ${TERMINA_RUNTIME_DLLS})")
endif()
set(TERMINA_RUNTIME_DLLS ${TERMINA_RUNTIME_DLLS} PARENT_SCOPE)
install(FILES ${TERMINA_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
# Beside the built library too, so that programs in the build tree load.
foreach(dll ${TERMINA_RUNTIME_DLLS})
  add_custom_command(TARGET termina1 POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll} $<TARGET_FILE_DIR:termina1>)
endforeach()

# The C library's reentrant time functions (localtime_r) are declared only
# for POSIX-minded code.
target_compile_definitions(termina1_core PRIVATE _POSIX_THREAD_SAFE_FUNCTIONS=200112L)
