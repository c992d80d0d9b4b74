# The demo site's settings, an initial cache for CMake (cmake -C site/demo.cmake):
# scripts/demo and the browser's end-to-end test build with them. The
# contact form hides a trap field named "website" from people; its pages
# declare UTF-8, so the mail says that it is UTF-8; the office's replies go
# to the address the visitor typed into "email"; and after sending, the
# visitor lands on the site's own thank-you page.
set(POSTERN_TRAP_FIELD "website" CACHE STRING "")
set(POSTERN_MAIL_CHARSET "UTF-8" CACHE STRING "")
set(POSTERN_REPLY_TO_FIELD "email" CACHE STRING "")
set(POSTERN_THANKS_URL "/thanks.html" CACHE STRING "")
