#include "database/PersonChooser.h"

#include "model/WorkRecords.h"
#include "platform/LocaleText.h"
#include "widgets/ElidedLabel.h"
#include "widgets/Named.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QStringList>

using namespace platform;

PersonChooser::PersonChooser(QObject* parent) : QObject(parent) {
    list_ = named(new QComboBox, "PersonFilter");
    list_->setAccessibleName(QStringLiteral("Person filter"));
    caption_ = label("PersonCaption", QStringLiteral("Pers&on:"));
    caption_->setBuddy(list_);
    // However many people, the window keeps its width: what does not fit is in the tooltip.
    totals_ = named(new ElidedLabel, "PersonTotals");
    totals_->setAccessibleName(QStringLiteral("Total per person"));
    totals_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QWidget* w : {static_cast<QWidget*>(caption_), static_cast<QWidget*>(list_),
                       static_cast<QWidget*>(totals_)})
        w->hide();
    connect(list_, &QComboBox::activated, this, [this] {
        chosen_ = person();
        Q_EMIT changed();
    });
}

void PersonChooser::load(WorkRecords& records) {
    const WorkRecords::Person& me = records.person();
    own_ = me.team ? me.id : -1;
    choosing_ = me.team && me.admin;
    {
        const QSignalBlocker quiet(list_);
        list_->clear();
        if (choosing_) {
            list_->addItem(QStringLiteral("< All >"), qint64(-1));
            for (const WorkRecords::Entry& e : records.people())
                list_->addItem(e.name, qint64(e.id));
            const int chosen = list_->findData(chosen_.value_or(own_));
            list_->setCurrentIndex(chosen >= 0 ? chosen : list_->findData(own_));
        }
    }
    caption_->setVisible(choosing_);
    list_->setVisible(choosing_);
    if (!choosing_)
        totals_->hide();
}

qint64 PersonChooser::person() const {
    if (!choosing_ || list_->currentIndex() < 0)
        return own_;
    return list_->currentData().toLongLong();
}

void PersonChooser::showTotals(const std::vector<RecordBrowser::PersonTotal>& totals) {
    QStringList parts;
    for (const RecordBrowser::PersonTotal& t : totals)
        parts << t.name + QLatin1Char(' ') + hoursText(t.hours) + QStringLiteral(" h");
    totals_->setText(parts.join(QStringLiteral(", ")));
    totals_->setVisible(parts.size() > 1);
}
