# Files an installed Olstrin needs besides its programs, and the Debian package.
install(FILES packaging/olstrin.desktop packaging/partwright.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
    install(FILES packaging/icons/${size}x${size}/olstrin.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES src/ui/icons/olstrin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/olstrin-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES examples/blinker/blinker.hex examples/blinker/blinker.c
        DESTINATION ${CMAKE_INSTALL_DATADIR}/olstrin/examples)

set(CPACK_PACKAGE_NAME "olstrin")
set(CPACK_PACKAGE_VENDOR "Olstrin developers")
set(CPACK_PACKAGE_CONTACT "Olstrin developers <olstrin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "In-system programmer for 8051-family flash microcontrollers")
set(CPACK_PACKAGE_DESCRIPTION
    "Olstrin programs AT89S51/52-class flash microcontrollers over a parallel-port download cable or an external serial programmer box, with a Qt window, a command-line tool and a built-in simulated target.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins, libasound2, libxcb1, fonts-wqy-microhei")
include(CPack)
