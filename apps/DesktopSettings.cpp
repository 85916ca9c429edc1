#include "apps/DesktopSettings.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

#include "apps/DesktopCommands.h"
#include "com/LumetaLocale.h"
#include "com/OleDate.h"
#include "host/MapEditCommands.h"

namespace {

constexpr const char* KDateFormat = "yyyy-MM-dd";

QDate DateOfDay(double ADay) {
  const TDateTimeParts parts = DecodeDateTime(ADay);
  return QDate(parts.Year, parts.Month, parts.Day);
}

double DayOf(const QDate& ADate) { return EncodeDate(ADate.year(), ADate.month(), ADate.day()); }

QListWidgetItem* HolidayItem(double ADay) {
  auto* item = new QListWidgetItem(DateOfDay(ADay).toString(QLatin1String(KDateFormat)));
  item->setData(Qt::UserRole, ADay);
  return item;
}

}  // namespace

TDesktopSettingsDialog::TDesktopSettingsDialog(TLumetaModel* AModel, QWidget* AParent)
    : QDialog(AParent), FModel(AModel) {
  TLumetaMapSettings& settings = *AModel->Map().MapSettings();
  FCalendar = settings.Calendar();
  setWindowTitle(QStringLiteral("Map Settings"));
  setObjectName(QStringLiteral("dlgMapSettings"));
  auto* form = new QFormLayout(this);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

  FScheduling = new QCheckBox(QStringLiteral("&Schedule tasks"), this);
  FScheduling->setObjectName(QStringLiteral("chkScheduling"));
  FScheduling->setChecked(settings.GetTaskScheduling());
  form->addRow(FScheduling);

  auto* days = new QHBoxLayout;
  const char* const names[] = {"&Mon", "&Tue", "&Wed", "T&hu", "&Fri", "S&at", "S&un"};
  for (int i = 0; i < 7; ++i) {
    FDays[i] = new QCheckBox(QString::fromLatin1(names[i]), this);
    FDays[i]->setChecked(FCalendar.WorkingDays & (1 << i));
    days->addWidget(FDays[i]);
  }
  form->addRow(QStringLiteral("Working days:"), days);

  FStart = new QDateEdit(this);
  FStart->setObjectName(QStringLiteral("deStart"));
  FStart->setDisplayFormat(QLatin1String(KDateFormat));
  FStart->setCalendarPopup(true);
  // A map without a start of its own shows the one the scheduler uses.
  FShownStart = DateOf(settings.ScheduleStart() > 0 ? settings.ScheduleStart() : settings.EffectiveScheduleStart());
  FStart->setDate(DateOfDay(FShownStart));
  form->addRow(QStringLiteral("Schedule sta&rt:"), FStart);

  // The list, and beside it the date to add with the two buttons.
  auto* holidays = new QGridLayout;
  FHolidays = new QListWidget(this);
  FHolidays->setObjectName(QStringLiteral("lstHolidays"));
  FHolidays->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FHolidays->installEventFilter(this);
  for (const double day : FCalendar.Holidays) FHolidays->addItem(HolidayItem(day));
  // Room for six dates, as wide as the date field beside it: a long list scrolls.
  const int frame = 2 * FHolidays->frameWidth();
  FHolidays->setFixedHeight(6 * FHolidays->fontMetrics().height() + frame + 4);
  FHoliday = new QDateEdit(this);
  FHoliday->setObjectName(QStringLiteral("deHoliday"));
  FHoliday->setDisplayFormat(QLatin1String(KDateFormat));
  FHoliday->setCalendarPopup(true);
  FHoliday->setDate(DateOfDay(LocaleService().Today()));
  FAdd = new QPushButton(QStringLiteral("A&dd"), this);
  FAdd->setObjectName(QStringLiteral("btnAddHoliday"));
  FAdd->setAutoDefault(false);
  FRemove = new QPushButton(QStringLiteral("Remo&ve"), this);
  FRemove->setObjectName(QStringLiteral("btnRemoveHoliday"));
  FRemove->setAutoDefault(false);
  FHolidays->setFixedWidth(FHoliday->sizeHint().width() + frame + FHolidays->verticalScrollBar()->sizeHint().width());
  holidays->addWidget(FHolidays, 0, 0, 4, 1);
  holidays->addWidget(FHoliday, 0, 1);
  holidays->addWidget(FAdd, 1, 1);
  holidays->addWidget(FRemove, 2, 1);
  holidays->setRowStretch(3, 1);
  form->addRow(QStringLiteral("Ho&lidays:"), holidays);
  if (auto* label = qobject_cast<QLabel*>(form->labelForField(holidays))) label->setBuddy(FHolidays);
  QObject::connect(FAdd, &QPushButton::clicked, this, [this] { AddHoliday(); });
  QObject::connect(FRemove, &QPushButton::clicked, this, [this] { RemoveHoliday(); });
  const auto updateRemove = [this] { FRemove->setEnabled(!FHolidays->selectedItems().isEmpty()); };
  QObject::connect(FHolidays, &QListWidget::itemSelectionChanged, this, updateRemove);
  updateRemove();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QObject::connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
}

TDesktopSettingsDialog::~TDesktopSettingsDialog() = default;

bool TDesktopSettingsDialog::eventFilter(QObject* AObject, QEvent* AEvent) {
  if (AObject == FHolidays && AEvent->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(AEvent)->key() == Qt::Key_Delete) {
    RemoveHoliday();
    return true;
  }
  return QDialog::eventFilter(AObject, AEvent);
}

void TDesktopSettingsDialog::AddHoliday() {
  const double day = DayOf(FHoliday->date());
  int row = 0;
  while (row < FHolidays->count() && FHolidays->item(row)->data(Qt::UserRole).toDouble() < day) ++row;
  if (row == FHolidays->count() || FHolidays->item(row)->data(Qt::UserRole).toDouble() != day)
    FHolidays->insertItem(row, HolidayItem(day));
  FHolidays->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void TDesktopSettingsDialog::RemoveHoliday() {
  const int row = FHolidays->currentRow();
  qDeleteAll(FHolidays->selectedItems());
  if (FHolidays->count() > 0)
    FHolidays->setCurrentRow(std::min(row, FHolidays->count() - 1), QItemSelectionModel::ClearAndSelect);
}

TMapCalendar TDesktopSettingsDialog::EditedCalendar() const {
  TMapCalendar calendar = FCalendar;
  calendar.WorkingDays = 0;
  for (int i = 0; i < 7; ++i)
    if (FDays[i]->isChecked()) calendar.WorkingDays |= static_cast<uint8_t>(1 << i);
  // The time of day of the stored start stays; an unchanged date leaves "no start" alone.
  if (const double day = DayOf(FStart->date()); day != FShownStart)
    calendar.ScheduleStart = day + TimeOf(FCalendar.ScheduleStart);
  calendar.Holidays.clear();
  for (int row = 0; row < FHolidays->count(); ++row)
    calendar.Holidays.push_back(FHolidays->item(row)->data(Qt::UserRole).toDouble());
  return calendar;
}

ComPtr<ICommand> TDesktopSettingsDialog::Command() const {
  ComPtr<ICommand> scheduling, calendar;
  if (FScheduling->isChecked() != FModel->Map().Settings()->GetTaskScheduling())
    scheduling = make<TTaskSchedulingCommand>(FModel, FScheduling->isChecked());
  if (const TMapCalendar edited = EditedCalendar(); !(edited == FCalendar))
    calendar = make<TChangeCalendarCommand>(FModel, edited);
  if (!scheduling || !calendar) return scheduling ? scheduling : calendar;
  TLumetaCommandProcessor* processor = FModel->Processor();
  return make<TDesktopStepCommand>(FModel, "Change Map Settings", [processor, scheduling, calendar] {
    processor->Execute(scheduling.get(), nullptr);
    processor->Execute(calendar.get(), nullptr);
  });
}
