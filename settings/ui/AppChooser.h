#pragma once

// Picks installed applications to give shortcuts: a searchable list of the desktop's
// applications with their icons, several selectable, and "Add". Applications that already
// have a binding are listed but cannot be chosen again.

#include "ApplicationCatalog.h"

#include <QDialog>

#include <set>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace quandrel {

class AppChooser : public QDialog {
    Q_OBJECT
public:
    AppChooser(std::vector<InstalledApplication> applications, const std::set<std::string>& bound, QWidget* parent = nullptr);

    // The chosen applications in the list's order.
    std::vector<InstalledApplication> chosen() const;

    QLineEdit* search() const { return m_search; }
    QListWidget* list() const { return m_list; }
    QPushButton* addButton() const { return m_add; }
    // Selects the application (as a click would); false when it is not listed or taken.
    bool select(const std::string& desktopId);

private:
    void filter(const QString& text);

    std::vector<InstalledApplication> m_applications;
    QLineEdit* m_search;
    QListWidget* m_list;
    QPushButton* m_add;
};

} // namespace quandrel
