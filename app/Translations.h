#pragma once

class QCoreApplication;

namespace quandrel {

// Installs the translation for the user's locale (built into the binary) and Qt's own, when
// there is one; English needs neither.
void installTranslations(QCoreApplication& app);

} // namespace quandrel
