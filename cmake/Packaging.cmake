# The Debian package: `cpack -G DEB` in a build configured with
# CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does it all).

set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VENDOR "Kelvor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IPsec VPN client for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Torvane connects to IKEv1 and IKEv2 VPN gateways (pre-shared keys,\n"
    "certificates, EAP-MSCHAPv2, EAP-TLS and XAuth) from the system tray or\n"
    "the command line. A root helper, started by systemd on demand, runs a\n"
    "private strongSwan charon and a DNS proxy for each tunnel, sets routes,\n"
    "DNS and an optional kill switch, and undoes every change it made.\n"
    "\n"
    "The package contains the tray application torvane, the command-line\n"
    "client torvanectl and the helper with its systemd units.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "Torvane developers <torvane@kelvor.invalid>")

# Install with DESTDIR into the staging tree, so that the prefix seen by the
# install rules is the real one (/usr) and files for /etc land in etc/.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# What the programs link against (libqt6svg6 holds the SVG icon plugins;
# libqt6dbus6 the single-instance name, notifications and the tray item),
# plus the programs the helper runs. pkexec lets the app enable the helper's
# units without a root terminal.
set(torvane_package_depends
    "libc6 (>= 2.36)"
    "libgcc-s1 (>= 3.0)"
    "libstdc++6 (>= 12)"
    "libqt6core6 (>= 6.4)"
    "libqt6gui6 (>= 6.4)"
    "libqt6dbus6 (>= 6.4)"
    "libqt6widgets6 (>= 6.4)"
    "libqt6svg6 (>= 6.4)"
    "qt6-qpa-plugins"
    "libsecret-1-0 (>= 0.20)"
    "libglib2.0-0 (>= 2.74)"
    "libsystemd0"
    "libmnl0 (>= 1.0.4)"
    "libnftables1 (>= 1.0.6)"
    "libssl3 (>= 3.0)"
    "libuuid1 (>= 2.16)"
    "strongswan-charon (>= 5.9.8)"
    "strongswan-swanctl (>= 5.9.8)"
    "libstrongswan-standard-plugins"
    "libcharon-extra-plugins"
    "libcharon-extauth-plugins"
    "dnsmasq-base"
    "nftables"
    "iproute2"
    "iputils-ping"
    "pkexec"
)
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${torvane_package_depends})
# Qt's own texts (standard buttons, file dialogs) in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gnome-keyring | kwalletmanager | keepassxc, qt6-translations-l10n")

# Maintainer scripts, plus a conffiles list written from the staging tree
# just before the archive is made, with the package's own documents.
set(TORVANE_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/resources/debian)
set(TORVANE_CONFFILES_OUTPUT ${PROJECT_BINARY_DIR}/debian/conffiles)
find_program(TORVANE_GZIP gzip REQUIRED)
file(WRITE ${TORVANE_CONFFILES_OUTPUT} "")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${TORVANE_DEBIAN_DIR}/postinst
    ${TORVANE_DEBIAN_DIR}/prerm
    ${TORVANE_DEBIAN_DIR}/postrm
    ${TORVANE_CONFFILES_OUTPUT})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
configure_file(${CMAKE_CURRENT_LIST_DIR}/PackagingDebian.cmake.in
               ${PROJECT_BINARY_DIR}/debian/PackagingDebian.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/debian/PackagingDebian.cmake)

include(CPack)
