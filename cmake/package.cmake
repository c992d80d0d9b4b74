# The Debian package: cpack -G DEB in a build folder. folio and lookout go
# into /usr/lib/cgi-bin, the folder Debian's Apache serves after
# "a2enmod cgid"; postern into /usr/libexec/orvik-cgi, out of any server's
# reach; the manual pages; the example site under /usr/share/doc/orvik-cgi.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvik-cgi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ORVIK web team <webmaster@orvik.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CGI programs of the ORVIK web site: mail-form gateway, echo page, browser page")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"postern mails the fields of any URL-encoded form, with a report on the
visitor and the server, through the host's sendmail-compatible mailer to a
recipient fixed by a wrapper on the server side. folio echoes a posted form
between the organisation's banner and signature; lookout names the visitor's
browser.")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# postern hands its mail to /usr/lib/sendmail: a program that sends mail
# depends on a mail transport agent, the way Debian declares it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "default-mta | mail-transport-agent")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "apache2 | lighttpd | nginx")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
