#include "widgets/LookupComboBox.h"

#include "platform/DataSet.h"
#include "widgets/Accessible.h"
#include "widgets/DataSetModel.h"

LookupComboBox::LookupComboBox(QWidget* parent) : QComboBox(parent) {
    installAccessibleRoles();
    setEditable(false);
    // Qt reports every choice of the user as "activated", after the list has closed.
    connect(this, &QComboBox::activated, this, [this](int row) {
        if (!dataset_ || row < 0)
            return;
        const QVariant chosen = dataset_->value(row, keyField_);
        if (chosen == key_ && !key_.isNull())
            return;
        key_ = chosen;
        Q_EMIT keyChanged();
    });
}

void LookupComboBox::setListSource(const platform::LookupList& list) {
    dataset_ = list.dataset;
    keyField_ = list.keyField;
    const QString listField = list.listField;
    auto* model = new DataSetModel(dataset_, this);
    model->setObjectName(list.modelName);
    setModel(model);
    const auto showListField = [this, listField] {
        const int column = dataset_->fieldIndex(listField);
        if (column >= 0 && column != modelColumn())
            setModelColumn(column);
    };
    connect(model, &QAbstractItemModel::modelReset, this, [this, showListField] {
        showListField();
        follow();
    });
    // A list that is open already shows its names at once, not its keys.
    showListField();
    follow();
}

void LookupComboBox::setKeyValue(const QVariant& key) {
    key_ = key;
    follow();
}

void LookupComboBox::follow() {
    if (following_)
        return;
    following_ = true;
    const int row = (dataset_ && !key_.isNull()) ? dataset_->locate(keyField_, key_) : -1;
    setCurrentIndex(row);
    following_ = false;
}

void LookupComboBox::showPopup() {
    popupShown_ = true;
    QComboBox::showPopup();
}

void LookupComboBox::hidePopup() {
    QComboBox::hidePopup();
    if (!popupShown_)
        return;
    popupShown_ = false;
    Q_EMIT closeUp();
}
