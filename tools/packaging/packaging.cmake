# Debian packages of the driver, the program and the tools, built by CPack's
# DEB generator: `cmake --preset package && cmake --build --preset package
# --target package` (tools/package does both).  With TERMINA_PACKAGING off
# (every other preset) only the plain install rules exist; the manual pages,
# the documentation files of each package and the CPack settings come with it.
option(TERMINA_PACKAGING "Build the manual pages and the Debian packages' files (needs help2man)" OFF)

include(GNUInstallDirs)
set(TERMINA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TERMINA_PACKAGE_MAINTAINER "Termina developers <termina@example.org>" CACHE STRING
  "Maintainer field of the Debian packages")

if(TERMINA_PACKAGING)
  find_program(HELP2MAN help2man REQUIRED)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  add_custom_target(manpages ALL)
endif()

# A compressed manual page from a roff file, installed with `component`.
function(termina_install_manpage roff component)
  if(NOT TERMINA_PACKAGING)
    return()
  endif()
  get_filename_component(name ${roff} NAME)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9nc ${roff} > ${out}
    DEPENDS ${roff} VERBATIM)
  add_custom_target(manpage_${name} DEPENDS ${out})
  add_dependencies(manpages manpage_${name})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# A manual page generated from a program's --help with help2man; `include`
# adds the sections --help has not (a roff file in help2man's include form).
function(termina_help2man target summary include component)
  if(NOT TERMINA_PACKAGING)
    return()
  endif()
  set(roff ${CMAKE_CURRENT_BINARY_DIR}/man/${target}.1)
  add_custom_command(OUTPUT ${roff}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
      ${HELP2MAN} --no-info --no-discard-stderr --locale=C.UTF-8 --version-string=${PROJECT_VERSION}
      --name=${summary} --include=${include} --output=${roff} $<TARGET_FILE:${target}>
    DEPENDS ${target} ${include} VERBATIM)
  add_custom_target(help2man_${target} DEPENDS ${roff})
  add_dependencies(help2man_${target} ${target})
  termina_install_manpage(${roff} ${component})
  add_dependencies(manpage_${target}.1 help2man_${target})
endfunction()

if(NOT TERMINA_PACKAGING)
  return()
endif()

# Each package's copyright file and changelog.
configure_file(${TERMINA_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(TERMINA_PACKAGE_PAIRS lib:libtermina1 dev:libtermina1-dev app:terminatool tools:termina-tools
  python:python3-termina)
if(TERMINA_BUILD_AGENT)
  list(APPEND TERMINA_PACKAGE_PAIRS agent:termina-agent)
endif()
foreach(pair ${TERMINA_PACKAGE_PAIRS})
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 component)
  list(GET pair 1 package)
  set(doc ${CMAKE_BINARY_DIR}/packaging/${package})
  file(MAKE_DIRECTORY ${doc})
  add_custom_command(OUTPUT ${doc}/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_BINARY_DIR}/packaging/changelog > ${doc}/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
  add_custom_target(changelog_${package} ALL DEPENDS ${doc}/changelog.gz)
  install(FILES ${TERMINA_PACKAGING_DIR}/copyright ${doc}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  if(EXISTS ${TERMINA_PACKAGING_DIR}/lintian/${package})
    install(FILES ${TERMINA_PACKAGING_DIR}/lintian/${package}
      DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
  endif()
endforeach()

# The Python package, in the folder every Python 3 of Debian reads: the
# sources only; postinst byte-compiles them and prerm removes the compiled
# files again.  Other systems install it from python/ with pip.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/termina
  DESTINATION lib/python3/dist-packages COMPONENT python
  FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME termina)
set(CPACK_PACKAGE_VENDOR "Termina developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TERMINA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_SET_DESTDIR OFF)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev app tools python)
if(TERMINA_BUILD_AGENT)
  list(APPEND CPACK_COMPONENTS_ALL agent)
endif()
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TERMINA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TERMINA_PACKAGE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program and the tools link the driver from the build tree: its package
# is named by the component dependency below, not by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/driver)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libtermina1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# dpkg runs ldconfig once through the trigger after all libraries are in.
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${TERMINA_PACKAGING_DIR}/control/libtermina1/triggers)
set(CPACK_COMPONENT_LIB_DESCRIPTION "driver library for TERMINA fiscal registers
TERMINA-1 speaks the framed text protocol of the TERMINA-1, -2 and -3 fiscal
registers over a serial line or a TCP gateway and offers one TRMA_ function
per register command: receipts, reports, the electronic control tape,
configuration tables, the logo and memory blocks; and the same commands as
termina_ functions over sessions, several registers at once.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtermina1-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS lib)
set(CPACK_COMPONENT_DEV_DESCRIPTION "driver library for TERMINA fiscal registers - development files
The headers termina1.h (the original interface) and termina.h (the session
interface for C and every other language: codes returned, text in UTF-8,
several registers at once), the unversioned link, termina1.pc for pkg-config
and the CMake package config (find_package(termina1), target
termina1::termina1) for programs that use the TERMINA-1 driver.")

set(CPACK_DEBIAN_APP_PACKAGE_NAME terminatool)
set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_APP_DEPENDS lib)
# The Qt libraries (with their X11 and offscreen platform plugins) come from
# dpkg-shlibdeps; the dialog font is looked up by name at run time.
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_COMPONENT_APP_DESCRIPTION "service program for TERMINA fiscal registers
TerminaTool is the dialog program of the service engineer and the tax
inspector: register status, programming tables, the settings file,
fiscalization, fiscal memory and EEJ reports, the clock and the
data-exchange password, a test sale and NVR recovery. Its interface is
Russian.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME termina-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DEPENDS lib)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "command-line tool and simulator for TERMINA fiscal registers
trma runs the register's commands from the command line for scripts: status,
configuration tables, reports, the settings file, the NVR image, the clock
and the logo. termina-sim simulates a register on a pseudo-terminal or a TCP
port, as a partner for tests and demonstrations.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-termina)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
# The driver it loads (libtermina1.so.1, the same version) comes from the
# component dependency; the interpreter as Debian's Python policy names it
# for pure Python modules.
set(CPACK_COMPONENT_PYTHON_DEPENDS lib)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3:any (>= 3.9~)")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
  ${TERMINA_PACKAGING_DIR}/control/python3-termina/postinst
  ${TERMINA_PACKAGING_DIR}/control/python3-termina/prerm)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "Python 3 interface to the TERMINA fiscal registers' driver
The package termina calls the session interface of the TERMINA-1 driver
library with ctypes: one Register object per register, over a serial line
or a TCP gateway, with the register's commands as methods taking and
returning Python types. A refusal of the register raises RegisterError, a
failure of the link LinkError; arguments are checked before anything is
sent.")

set(CPACK_DEBIAN_AGENT_PACKAGE_NAME termina-agent)
set(CPACK_DEBIAN_AGENT_PACKAGE_SECTION net)
set(CPACK_COMPONENT_AGENT_DEPENDS lib)
# The HTTP, TOML and SQLite libraries come from dpkg-shlibdeps; the service's
# user is made by adduser in postinst (and described for systemd-sysusers).
set(CPACK_DEBIAN_AGENT_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_AGENT_PACKAGE_SUGGESTS "prometheus")
set(CPACK_DEBIAN_AGENT_PACKAGE_CONTROL_EXTRA
  ${TERMINA_PACKAGING_DIR}/control/termina-agent/conffiles
  ${TERMINA_PACKAGING_DIR}/control/termina-agent/postinst
  ${TERMINA_PACKAGING_DIR}/control/termina-agent/prerm
  ${TERMINA_PACKAGING_DIR}/control/termina-agent/postrm)
set(CPACK_DEBIAN_AGENT_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_AGENT_DESCRIPTION "TERMINA fiscal registers as a local HTTP service
termina-agent serves the registers of a shop to point-of-sale programs,
web pages included, over HTTP with JSON: one queue per register, jobs made
idempotent by the caller's id and kept in a journal, so that a repeated
request never prints a receipt twice; a register that drops is reopened by
itself; metrics and alert rules for Prometheus. A systemd service with its
own user.")

include(CPack)
