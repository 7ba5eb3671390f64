# What a user downloads: one zip per processor, holding a folder with the exe,
# the user guide and the licence (cpack in a Windows build tree makes it).

install(TARGETS tdl2mp4 RUNTIME DESTINATION .)

# The licence keeps LF in the repository; Notepad before Windows 10 shows bare
# LF line ends as one long line, so the zip gets a CRLF copy with a name that
# opens on a double-click.
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES
  ${CMAKE_SOURCE_DIR}/docs/使用说明.txt
  ${CMAKE_BINARY_DIR}/package/LICENSE.txt
  DESTINATION .)

# x86 and x64 are the names Windows itself shows for the two kinds of system.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(package_processor x64)
else()
  set(package_processor x86)
endif()
set(CPACK_GENERATOR ZIP)
# The zip's name is also the folder it unpacks to.
set(CPACK_PACKAGE_FILE_NAME ${PACKAGE_NAME}-${PRODUCT_DISPLAY_VERSION}-${package_processor})
include(CPack)
