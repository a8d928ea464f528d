#pragma once

#include <QComboBox>
#include <QVariant>

namespace platform {
class DataSet;
struct LookupList;
} // namespace platform

// A drop-down over a data set that holds the key of the chosen row, or no key. The key
// stays when the list closes or is read again; the shown row follows it.
class LookupComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit LookupComboBox(QWidget* parent = nullptr);

    // Shows the list's rows through a table model of its own, which follows the data set.
    void setListSource(const platform::LookupList& list);
    QVariant keyValue() const { return key_; } // null: no key
    void setKeyValue(const QVariant& key);
    // The text the drop-down shows for its key (empty without a list).
    QString text() const { return currentIndex() >= 0 ? currentText() : QString(); }

Q_SIGNALS:
    void closeUp();
    // The user chose another entry, whichever way: in the list, with the keys or by typing
    // on the closed box, or with the wheel. The key value is already the new one.
    void keyChanged();

protected:
    void showPopup() override;
    // Only a list that was open closes up: the combo box also hides its popup while it is
    // being destroyed, and nobody must be told then.
    void hidePopup() override;

private:
    void follow();

    platform::DataSet* dataset_ = nullptr;
    QString keyField_;
    QVariant key_;
    bool following_ = false;
    bool popupShown_ = false;
};
