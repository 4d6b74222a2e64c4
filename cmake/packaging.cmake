# Install rules and packages: `cmake --install` puts the programs on the PATH; cpack makes a
# Debian package on Linux and a zip of the statically linked .exe files on Windows.
set(CMAKE_INSTALL_DOCDIR share/doc/tavrel CACHE PATH "Documentation folder")
include(GNUInstallDirs)

set(TAVREL_PROGRAMS tavrel tavrel-monitor tavrel-play tavrel-preview)
if(WIN32)
  # A zip that is unpacked and run: the programs and their documentation side by side.
  install(TARGETS ${TAVREL_PROGRAMS} RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(TAVREL_DOCS_DESTINATION .)
else()
  install(TARGETS ${TAVREL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(TAVREL_DOCS_DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
# The pages the README links to, and the music it plays.
install(DIRECTORY docs DESTINATION ${TAVREL_DOCS_DESTINATION})
install(FILES examples/greensleeves.txt examples/two-voices.txt examples/greensleeves.mid examples/live_arpeggio.py
        DESTINATION ${TAVREL_DOCS_DESTINATION}/examples)
# The browser edition, when a built one is given (scripts/package.sh builds it first): the static
# page, to open from any static host or with a local server.
set(TAVREL_WEB_PAGE_DIR "" CACHE PATH "A built browser edition (build/web) to put in the packages")
if(TAVREL_WEB_PAGE_DIR)
  if(WIN32)
    set(TAVREL_WEB_DESTINATION web)
  else()
    set(TAVREL_WEB_DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrel/web)
  endif()
  # The page is the folder's own files; its subfolders are the build's and the tests'.
  file(GLOB TAVREL_WEB_FILES ${TAVREL_WEB_PAGE_DIR}/*.html ${TAVREL_WEB_PAGE_DIR}/*.js ${TAVREL_WEB_PAGE_DIR}/*.css
       ${TAVREL_WEB_PAGE_DIR}/*.wasm)
  if(NOT TAVREL_WEB_FILES)
    message(FATAL_ERROR "TAVREL_WEB_PAGE_DIR ${TAVREL_WEB_PAGE_DIR} holds no built page")
  endif()
  install(FILES ${TAVREL_WEB_FILES} DESTINATION ${TAVREL_WEB_DESTINATION}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
if(TARGET virtual_joycon)
  install(TARGETS virtual_joycon LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tavrel)
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  install(FILES udev/70-tavrel-joycon.rules DESTINATION lib/udev/rules.d)
endif()

# Manual pages, section 1: each program's page lies beside its source; the version and the
# virtual controller's installed path are filled in, and the page is compressed as Debian wants.
find_program(TAVREL_GZIP gzip)
set(TAVREL_MAN_PAGES app/tavrel monitor/tavrel-monitor play/cli/tavrel-play tools/preview/tavrel-preview)
set(TAVREL_VIRTUAL_JOYCON ${CMAKE_INSTALL_FULL_LIBDIR}/tavrel/libvirtual_joycon.so)
if(NOT WIN32)
  foreach(page ${TAVREL_MAN_PAGES})
    get_filename_component(name ${page} NAME)
    set(built ${PROJECT_BINARY_DIR}/man/${name}.1)
    configure_file(${page}.1.in ${built} @ONLY)
    if(TAVREL_GZIP)
      execute_process(COMMAND ${TAVREL_GZIP} -9 -n -c ${built} OUTPUT_FILE ${built}.gz)
      install(FILES ${built}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      install(FILES ${built} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endforeach()
endif()

set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VENDOR "The Tavrel developers")
set(CPACK_PACKAGE_CONTACT "The Tavrel developers <tavrel@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "plays music through the rumble of Nintendo Switch controllers")
set(CPACK_PACKAGE_DESCRIPTION "Tavrel plays a built-in tune through the rumble motor of a right Joy-Con.
tavrel-play plays tunes written as text, and MIDI files, on right and left
Joy-Cons and Pro Controllers; tavrel-monitor shows the controller's buttons,
stick and motion sensors; tavrel-preview turns a run on the virtual
controller into sound and a piano roll.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
                                        ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Debian keeps the licence as the package's copyright file and a compressed changelog.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  if(TAVREL_GZIP)
    execute_process(COMMAND ${TAVREL_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
                    OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz)
    install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
endif()
include(CPack)
