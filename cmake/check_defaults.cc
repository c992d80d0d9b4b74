// Compiled by CMake when it configures: the site's defaults pass postern's
// own checks of a form's settings, or configuring stops with the reason.
#include "postern/defaults.h"

int main()
{
    return 0;
}
