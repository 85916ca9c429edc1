# Install rules and the Debian package. `cmake --install DIR --prefix P` puts the programs in
# P/bin and our libraries in P/lib/<multiarch>/lumeta; `cpack -G DEB` in a build folder packages the same tree
# for /usr. Headers and static libraries stay in the build: nothing links against us.

set(LUMETA_PROGRAMS lumeta lumeta-desktop)
set(LUMETA_LIBRARIES lumeta_actionproperty lumeta_attributefactories lumeta_taskprogram lumeta_com lumeta_settings)

# Run paths relative to the file itself: programs look in ../lib/<multiarch>/lumeta, libraries beside themselves.
set_target_properties(${LUMETA_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/${LUMETA_INSTALLED_PLUGIN_DIR}")
set_target_properties(${LUMETA_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS ${LUMETA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${LUMETA_LIBRARIES} LIBRARY DESTINATION ${LUMETA_INSTALL_LIBDIR} NAMELINK_SKIP)

# Desktop integration: menu entry, icon and the map file type, so file managers open maps with
# the desktop window.
set(lumeta_packaging ${CMAKE_CURRENT_LIST_DIR})
install(FILES ${lumeta_packaging}/lumeta-desktop.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${lumeta_packaging}/lumeta-desktop.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${lumeta_packaging}/lumeta-map.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME lumeta.xml)

# Manual pages and the package documents, compressed the way Debian expects (gzip -9n: no name or
# time stamp, so the package builds the same twice).
set(lumeta_compressed)
foreach(source lumeta.1 lumeta-desktop.1 changelog)
  set(target ${CMAKE_BINARY_DIR}/packaging/${source}.gz)
  add_custom_command(OUTPUT ${target}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                     COMMAND gzip -9n -c ${lumeta_packaging}/${source} > ${target}
                     DEPENDS ${lumeta_packaging}/${source} VERBATIM)
  list(APPEND lumeta_compressed ${target})
endforeach()
add_custom_target(lumeta_packaging_files ALL DEPENDS ${lumeta_compressed})
install(FILES ${CMAKE_BINARY_DIR}/packaging/lumeta.1.gz ${CMAKE_BINARY_DIR}/packaging/lumeta-desktop.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${lumeta_packaging}/copyright
              ${PROJECT_SOURCE_DIR}/docs/lumeta.md ${PROJECT_SOURCE_DIR}/docs/map-format.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumeta)

# Everything the rules above install, so a package build compiles nothing else.
add_custom_target(lumeta_install_contents DEPENDS ${LUMETA_PROGRAMS} ${LUMETA_LIBRARIES} lumeta_packaging_files)

# The package everything above makes.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumeta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Lumeta maintainers <maintainers@users.noreply.c-seed-77f3c7bd.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mind maps with scheduled actions and tasks")
# CPack puts the summary first, indents these lines and turns the empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Lumeta keeps a plan as a mind map whose nodes carry actions: start, due and
completion dates, status, priority, cost and work. Actions linked as
predecessors and successors are rescheduled on the map's working calendar,
and summary nodes roll up the tasks below them.

The package holds the desktop window (lumeta-desktop), the lumeta command
line that runs edits and scripts on map files, and the Action plug-in both
load.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# cpack installs what is built; scripts/package.sh builds only the targets the package holds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
