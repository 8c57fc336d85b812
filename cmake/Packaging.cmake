# Installation and the Debian package: `cmake --install` puts SIMPARO's programs,
# the importer's reader, desktop entry, icons, AppStream metainfo, man pages, README,
# the IT person's pages (docs/admin, in Indonesian), copyright and changelog in the
# usual places, and `cpack -G DEB` (or `make package` at the top) makes
# simparo_<version>_<arch>.deb. simparo-bench, which drives the screens through
# Qt Test, stays out of it: the package needs no Qt Test.
include(GNUInstallDirs)

set(SIMPARO_PROGRAMS simparo simparo-initdb simparo-import simparo-backup simparo-verify simparo-operator
                     simparo-migrate)
set(SIMPARO_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)

# Man pages are installed gzip-compressed, as Debian's policy asks.
set(SIMPARO_MAN_PAGES)
foreach(program ${SIMPARO_PROGRAMS})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
      COMMAND gzip -9n -c ${SIMPARO_PACKAGING_DIR}/man/${program}.1 > ${page}
      DEPENDS ${SIMPARO_PACKAGING_DIR}/man/${program}.1
      VERBATIM)
    list(APPEND SIMPARO_MAN_PAGES ${page})
  endif()
endforeach()
# The changelog of a native package, signed by the package's maintainer and
# compressed as Debian's policy asks.
# A build folder from before keeps the old address, on localhost, which lintian refuses.
if(SIMPARO_PACKAGE_MAINTAINER STREQUAL "Tim TI PT.BPRS.MERANTIKA <simparo@localhost>")
  unset(SIMPARO_PACKAGE_MAINTAINER CACHE)
endif()
set(SIMPARO_PACKAGE_MAINTAINER "Tim TI PT.BPRS.MERANTIKA <simparo@bprs-merantika.invalid>"
    CACHE STRING "Maintainer line of the Debian package: name <e-mail>")
configure_file(${SIMPARO_PACKAGING_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
set(SIMPARO_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${SIMPARO_CHANGELOG}
  COMMAND gzip -9n -c ${CMAKE_CURRENT_BINARY_DIR}/changelog > ${SIMPARO_CHANGELOG}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  VERBATIM)
add_custom_target(simparo-docs ALL DEPENDS ${SIMPARO_MAN_PAGES} ${SIMPARO_CHANGELOG})
install(FILES ${SIMPARO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The importer's reader is a helper of its own, not a command for users.
install(TARGETS simparo-mdb-reader RUNTIME DESTINATION ${SIMPARO_PRIVATE_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../README.md ${SIMPARO_PACKAGING_DIR}/copyright ${SIMPARO_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The pages for the IT person and the supervisor, which the tools' messages and the
# man pages name (/usr/share/doc/simparo/admin/server.md, ...). They stay
# uncompressed, so that the names the messages give are the files' own.
install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/../docs/admin/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/admin
        FILES_MATCHING PATTERN "*.md")

# Qt's own texts in Indonesian, which the program loads at start.
install(FILES ${SIMPARO_QT_TEXTS} DESTINATION ${SIMPARO_TRANSLATIONS_DIR})

install(FILES ${SIMPARO_PACKAGING_DIR}/simparo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SIMPARO_PACKAGING_DIR}/id.bprs_merantika.simparo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${SIMPARO_PACKAGING_DIR}/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME simparo)
set(CPACK_PACKAGE_VENDOR "PT.BPRS.MERANTIKA")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SIMPARO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tabungan pelajar dan mahasiswa PT.BPRS.MERANTIKA
SIMPARO adalah program desktop untuk mengelola Tabungan Pelajar dan Mahasiswa
di PT.BPRS.MERANTIKA: operator masuk dengan password, mengisi daftar nasabah,
memposting setoran dan penarikan, melihat mutasi dan saldo rekening, serta
mencetak daftar nasabah dan laporan tabungan.
.
Semua data ada dalam satu file SQLite, ~/SKRIP/asli.sqlite, yang dibuat
dengan simparo-initdb, atau di server PostgreSQL untuk beberapa loket;
simparo-import memindahkan data dari file asli.mdb program lama,
simparo-backup membuat salinan cadangan yang diperiksa, juga selagi
program dipakai, dan simparo-verify memeriksa jejak audit bersegel yang
mencatat setiap tindakan yang menulis.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Every library the programs link is found by dpkg-shlibdeps. The Qt SQLite driver
# is a plugin that Qt loads at run time, so no binary names it: it is the one
# dependency listed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
# The Qt PostgreSQL driver, for a branch whose counters share one server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")

include(CPack)
