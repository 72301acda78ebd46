// ostry-install-helper NEW-BUNDLE INSTALLED-BUNDLE
//
// Run as root through pkexec from the installed bundle; see InstallHelper.h.

#include "InstallHelper.h"

int main(int argc, char** argv)
{
    return ostry::InstallHelper::main(argc, argv);
}
