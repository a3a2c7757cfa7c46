#include "recording/schedule_editor_window.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTimeEdit>
#include <QTimer>

#include "core/interface_language.h"
#include "core/main_shell.h"
#include "platform/regional_format.h"
#include "platform/web_browser.h"
#include "recording/schedule_runner.h"
#include "store/schedule_table.h"

namespace {

struct Column
{
    QString ScheduleEntry::*field;
    const char *title;
    int width;  // 0: default
    bool centred;
    bool titleCentred;
};

const Column kColumns[] = {
    {&ScheduleEntry::enabled, " ", 17, true, true},
    {&ScheduleEntry::modeText, "Mode", 50, false, false},
    {&ScheduleEntry::name, "Name", 125, false, false},
    {&ScheduleEntry::frequencyText, "Frequency", 70, false, false},
    {&ScheduleEntry::firstDay, "Date", 70, false, true},
    {&ScheduleEntry::startTime, "Time", 73, false, true},
    {&ScheduleEntry::lastDay, "Date", 70, false, true},
    {&ScheduleEntry::endTime, "Time", 75, false, true},
    {&ScheduleEntry::fileName, "File name", 0, false, false},
};
constexpr int kColumnCount = int(sizeof kColumns / sizeof kColumns[0]);

// Background of a row inside its window now: the classic colour of
// inactive caption text; outside: the window colour.
const QColor kInsideColour(212, 208, 200);

}  // namespace

// The list TntDBGrid1: a model over the schedule table's entries. It
// holds the ids it shows and follows the table with row insertions and
// removals, so that the view's selection stays on the same entry whatever
// changed around it.
class ScheduleListModel : public QAbstractTableModel
{
public:
    explicit ScheduleListModel(ScheduleEditor &editor, QObject *parent) : QAbstractTableModel(parent), m_editor(editor)
    {
        for (const Column &c : kColumns)
            titles << QString::fromLatin1(c.title);
        sync();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_ids.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : kColumnCount;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const ScheduleEntry *entry = entryAt(index);
        if (!entry)
            return {};
        switch (role) {
        case Qt::DisplayRole: {
            const QString &text = entry->*kColumns[index.column()].field;
            return text.isNull() ? QVariant() : QVariant(text);
        }
        case Qt::TextAlignmentRole:
            return int((kColumns[index.column()].centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        case Qt::BackgroundRole:
        case Qt::ForegroundRole: {
            const ScheduleEditor::RowState state = m_editor.rowState(*entry);
            if (state == ScheduleEditor::RowState::Plain)
                return {};
            if (role == Qt::ForegroundRole)
                return QColor(Qt::black);
            return state == ScheduleEditor::RowState::Inside ? kInsideColour : QColor(Qt::white);
        }
        case Qt::ToolTipRole:
            return m_editor.neverRunsReason(*entry);
        case Qt::DecorationRole:
            // The mark of an entry the runner can never run.
            if (index.column() != 0 || m_editor.neverRunsReason(*entry).isEmpty())
                return {};
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
            return QAbstractTableModel::headerData(section, orientation, role);
        if (role == Qt::DisplayRole)
            return titles.at(section);
        if (role == Qt::TextAlignmentRole)
            return int((kColumns[section].titleCentred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        return {};
    }

    // Brings the rows in step with the table. Both lists are in ascending
    // id order (the store's order), so one pass finds every removed and
    // added entry; the rest are redrawn.
    void sync()
    {
        const QVector<ScheduleEntry> &entries = m_editor.schedule().entries();
        int row = 0;
        int next = 0;
        while (row < m_ids.size() || next < entries.size()) {
            const bool removed = next == entries.size() || (row < m_ids.size() && m_ids.at(row) < entries.at(next).id);
            const bool added = !removed && (row == m_ids.size() || entries.at(next).id < m_ids.at(row));
            if (removed) {
                beginRemoveRows(QModelIndex(), row, row);
                m_ids.removeAt(row);
                endRemoveRows();
            } else if (added) {
                beginInsertRows(QModelIndex(), row, row);
                m_ids.insert(row, entries.at(next).id);
                endInsertRows();
                ++row;
                ++next;
            } else {
                ++row;
                ++next;
            }
        }
        recolour({Qt::DisplayRole, Qt::BackgroundRole, Qt::ForegroundRole});
    }
    // Redraws the rows (the time moves on, an entry changed).
    void recolour(const QList<int> &roles = {Qt::BackgroundRole, Qt::ForegroundRole})
    {
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1), roles);
    }

    QStringList titles;

private:
    const ScheduleEntry *entryAt(const QModelIndex &index) const
    {
        if (!index.isValid() || index.row() >= m_ids.size())
            return nullptr;
        const int at = m_editor.schedule().indexOf(m_ids.at(index.row()));
        return at < 0 ? nullptr : &m_editor.schedule().entries().at(at);
    }

    ScheduleEditor &m_editor;
    QVector<qint64> m_ids;
};

TForm_record::TForm_record(ScheduleEditor &editor, MainShell &shell, WebBrowserFactory &browsers,
                           const QString &storeFile, QWidget *parent)
    : QWidget(parent, Qt::Dialog),
      m_editor(editor),
      m_shell(shell),
      m_browsers(browsers)
{
    setObjectName(QStringLiteral("Form_record"));
    setWindowTitle(QStringLiteral("Schedule"));
    buildControls();

    connect(&m_editor, &ScheduleEditor::formChanged, this, &TForm_record::showForm);
    connect(&m_editor, &ScheduleEditor::dateControlsChanged, this, &TForm_record::applyDateControls);
    connect(&m_editor, &ScheduleEditor::focusRequested, this, &TForm_record::focusField);
    connect(&m_editor, &ScheduleEditor::pageRequested, this, &TForm_record::loadPage);
    // The list and the editor's current entry are one: the editor's
    // current entry is highlighted, and a row the user picks (mouse or
    // keyboard) becomes the editor's current entry.
    connect(&m_editor, &ScheduleEditor::listChanged, this, &TForm_record::followList);
    connect(&m_editor, &ScheduleEditor::currentEntryChanged, this, &TForm_record::showCurrentRow);
    connect(TntDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (!m_following && current.isValid())
                    m_editor.loadEntry(current.row());
            });

    connect(TntSpeedButton1, &QPushButton::clicked, this, [this] {
        collectForm();
        m_editor.add();
    });
    connect(TntSpeedButton2, &QPushButton::clicked, this, [this] {
        collectForm();
        m_editor.modify();
    });
    connect(TntSpeedButton3, &QPushButton::clicked, &m_editor, &ScheduleEditor::deleteCurrent);
    connect(TntSpeedButton4, &QPushButton::clicked, &m_editor, &ScheduleEditor::recordListRequested);
    // A click on the current row loads it again.
    connect(TntDBGrid1, &QTableView::clicked, this,
            [this](const QModelIndex &index) { m_editor.loadEntry(index.row()); });
    connect(TntDBGrid1, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { m_editor.playRecording(index.row()); });
    connect(ComboBox2, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        m_editor.form.frequency = index;
        applyDateControls(m_editor.dateControls());
    });
    // The form holds what the controls show at every moment: a station
    // picked, a showing or a refused save then rewrites the controls with
    // the user's own values.
    for (QComboBox *box : {ComboBox1, ComboBox2, ComboBox3, ComboBox4})
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this, &TForm_record::collectForm);
    for (QLineEdit *edit : {Edit1, Edit2})
        connect(edit, &QLineEdit::textChanged, this, &TForm_record::collectForm);
    for (QDateEdit *date : {Date1, Date2})
        connect(date, &QDateEdit::dateChanged, this, &TForm_record::collectForm);
    for (QTimeEdit *time : {time1, Time2})
        connect(time, &QTimeEdit::timeChanged, this, &TForm_record::collectForm);
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm_record::collectForm);
    connect(Edit1, &QLineEdit::textEdited, &m_editor, &ScheduleEditor::nameEdited);
    connect(SpeedButton4, &QPushButton::clicked, this, [this] { PopupMenu1->popup(QPoint(x() + 500, y() + 70)); });
    connect(Location1, &QAction::triggered, this, [this] { m_editor.chooseStation(StationList::LocationTitle); });
    connect(Genre1, &QAction::triggered, this, [this] { m_editor.chooseStation(StationList::GenreTitle); });

    // The row colours follow the clock while the window is up.
    auto *recolour = new QTimer(this);
    recolour->setInterval(1000);
    connect(recolour, &QTimer::timeout, this, [this] {
        if (isVisible())
            m_model->recolour();
    });
    recolour->start();

    m_editor.create(storeFile);
    followList();
}

void TForm_record::followList()
{
    m_following = true;
    m_model->sync();
    m_following = false;
    showCurrentRow(m_editor.currentRow());
    TntSpeedButton3->setEnabled(!m_editor.listEmpty());
}

void TForm_record::showCurrentRow(int row)
{
    QItemSelectionModel *selection = TntDBGrid1->selectionModel();
    m_following = true;
    if (row >= 0 && row < m_model->rowCount()) {
        const QModelIndex index = m_model->index(row, qMax(0, selection->currentIndex().column()));
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        TntDBGrid1->scrollTo(index);
    } else {
        selection->clear();
    }
    m_following = false;
}

TForm_record::~TForm_record() = default;

void TForm_record::buildControls()
{
    setFixedSize(634, 600);
    auto label = [this](const char *name, const QString &text, const QRect &at) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        l->setGeometry(at);
        return l;
    };
    auto combo = [this](const char *name, const QRect &at) {
        auto *c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(at);
        return c;
    };
    auto button = [this](const char *name, const QString &text, const QRect &at) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(at);
        return b;
    };
    TntLabel1 = label("TntLabel1", QStringLiteral("Mode"), QRect(10, 12, 40, 18));
    ComboBox1 = combo("ComboBox1", QRect(55, 9, 110, 24));
    TntLabel2 = label("TntLabel2", QStringLiteral("Name"), QRect(180, 12, 40, 18));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(225, 9, 340, 24);
    SpeedButton4 = button("SpeedButton4", QStringLiteral("..."), QRect(570, 9, 30, 24));
    TntLabel3 = label("TntLabel3", QStringLiteral("Frequency"), QRect(10, 45, 60, 18));
    ComboBox2 = combo("ComboBox2", QRect(72, 42, 90, 24));

    const QString timeFormat = QStringLiteral("AP hh:mm:ss");
    Date1 = new QDateEdit(this);
    Date1->setObjectName(QStringLiteral("Date1"));
    Date1->setGeometry(166, 42, 110, 24);
    Date1->setCalendarPopup(true);
    if (const RegionalFormat *regional = m_shell.platform().regional)
        Date1->setDisplayFormat(regional->shortDateFormat());
    time1 = new QTimeEdit(this);
    time1->setObjectName(QStringLiteral("time1"));
    time1->setDisplayFormat(timeFormat);
    time1->setGeometry(279, 42, 100, 24);
    Label8 = label("Label8", QStringLiteral(" >>"), QRect(381, 45, 18, 18));
    Date2 = new QDateEdit(this);
    Date2->setObjectName(QStringLiteral("Date2"));
    Date2->setGeometry(401, 42, 110, 24);
    Date2->setCalendarPopup(true);
    if (const RegionalFormat *regional = m_shell.platform().regional)
        Date2->setDisplayFormat(regional->shortDateFormat());
    Time2 = new QTimeEdit(this);
    Time2->setObjectName(QStringLiteral("Time2"));
    Time2->setDisplayFormat(timeFormat);
    Time2->setGeometry(514, 42, 110, 24);
    // The weekday lists sit where the date pickers are.
    ComboBox3 = combo("ComboBox3", Date1->geometry());
    ComboBox4 = combo("ComboBox4", Date2->geometry());
    ComboBox3->hide();
    ComboBox4->hide();

    CheckBox1 = new QCheckBox(QStringLiteral("Enable"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(10, 76, 100, 22);
    CheckBox1->setChecked(true);
    TntSpeedButton1 = button("TntSpeedButton1", QStringLiteral("Add"), QRect(188, 74, 90, 26));
    TntSpeedButton2 = button("TntSpeedButton2", QStringLiteral("Modify"), QRect(282, 74, 90, 26));
    TntSpeedButton3 = button("TntSpeedButton3", QStringLiteral("Delete"), QRect(376, 74, 90, 26));
    TntSpeedButton4 = button("TntSpeedButton4", QStringLiteral("Record list"), QRect(494, 74, 130, 26));

    TntDBGrid1 = new QTableView(this);
    TntDBGrid1->setObjectName(QStringLiteral("TntDBGrid1"));
    TntDBGrid1->setGeometry(10, 108, 614, 150);
    TntDBGrid1->setToolTip(QStringLiteral("Double click to play."));
    TntDBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TntDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TntDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    TntDBGrid1->verticalHeader()->hide();
    TntDBGrid1->verticalHeader()->setDefaultSectionSize(20);
    m_model = new ScheduleListModel(m_editor, this);
    TntDBGrid1->setModel(m_model);
    for (int i = 0; i < kColumnCount; ++i) {
        if (kColumns[i].width > 0)
            TntDBGrid1->setColumnWidth(i, kColumns[i].width);
    }
    TntDBGrid1->horizontalHeader()->setStretchLastSection(true);

    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->hide();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Location1 = PopupMenu1->addAction(QStringLiteral("地区"));
    Location1->setObjectName(QStringLiteral("Location1"));
    Genre1 = PopupMenu1->addAction(QStringLiteral("类型"));
    Genre1->setObjectName(QStringLiteral("Genre1"));

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TForm_record::loadPage(const QString &url)
{
    if (!m_web2) {
        m_web2 = m_browsers.create(this);
        if (QWidget *view = m_web2->widget()) {
            view->setParent(this);
            view->setObjectName(QStringLiteral("web2"));
            view->setGeometry(16, 264, 601, 329);
            view->show();
        }
    }
    m_web2->navigate(url);
}

void TForm_record::showWindow()
{
    m_editor.showSteps();
    translateTexts();
    show();
    raise();
    activateWindow();
    Edit1->setFocus();
}

void TForm_record::translateTexts()
{
    using InterfaceLanguage::TextSlot;
    // Every showing starts from the design texts, so that a language chosen
    // since the last showing applies.
    TntLabel1->setText(QStringLiteral("Mode"));
    TntLabel2->setText(QStringLiteral("Name"));
    TntLabel3->setText(QStringLiteral("Frequency"));
    TntSpeedButton1->setText(QStringLiteral("Add"));
    TntSpeedButton2->setText(QStringLiteral("Modify"));
    TntSpeedButton3->setText(QStringLiteral("Delete"));
    TntSpeedButton4->setText(QStringLiteral("Record list"));
    CheckBox1->setText(QStringLiteral("Enable"));
    Location1->setText(QStringLiteral("地区"));
    Genre1->setText(QStringLiteral("类型"));
    m_editor.resetItems();
    for (int i = 0; i < kColumnCount; ++i)
        m_model->titles[i] = QString::fromLatin1(kColumns[i].title);

    QVector<TextSlot> textSlots;
    const QString english = InterfaceLanguage::kEnglishKey;
    for (QLabel *l : {TntLabel1, TntLabel2, TntLabel3})
        textSlots.push_back({english, [l] { return l->text(); }, [l](const QString &t) { l->setText(t); }});
    for (QPushButton *b : {TntSpeedButton1, TntSpeedButton2, TntSpeedButton3, TntSpeedButton4})
        textSlots.push_back({english, [b] { return b->text(); }, [b](const QString &t) { b->setText(t); }});
    textSlots.push_back(
        {english, [this] { return CheckBox1->text(); }, [this](const QString &t) { CheckBox1->setText(t); }});
    for (int i = 1; i < kColumnCount; ++i) {
        textSlots.push_back({english, [this, i] { return m_model->titles.at(i); },
                             [this, i](const QString &t) { m_model->titles[i] = t; }});
    }
    for (QStringList *items : {&m_editor.modeItems, &m_editor.frequencyItems, &m_editor.weekdayItems}) {
        for (int i = 0; i < items->size(); ++i) {
            textSlots.push_back(
                {english, [items, i] { return items->at(i); }, [items, i](const QString &t) { (*items)[i] = t; }});
        }
    }
    for (QAction *a : {Location1, Genre1}) {
        textSlots.push_back(
            {InterfaceLanguage::kMenuKey, [a] { return a->text(); }, [a](const QString &t) { a->setText(t); }});
    }
    m_shell.translateWindowTexts(textSlots);
    Q_EMIT m_model->headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
    fillChoices();
    showForm();
}

void TForm_record::fillChoices()
{
    auto fill = [](QComboBox *box, const QStringList &items) {
        const QSignalBlocker block(box);
        const int current = box->currentIndex();
        box->clear();
        box->addItems(items);
        box->setCurrentIndex(current);
    };
    fill(ComboBox1, m_editor.modeItems);
    fill(ComboBox2, m_editor.frequencyItems);
    fill(ComboBox3, m_editor.weekdayItems);
    fill(ComboBox4, m_editor.weekdayItems);
}

void TForm_record::showForm()
{
    // Written from the form, not read back into it half-way.
    const ScheduleForm form = m_editor.form;
    m_showing = true;
    const QSignalBlocker b1(ComboBox1), b2(ComboBox2), b3(ComboBox3), b4(ComboBox4), b5(Edit1);
    if (ComboBox1->count() == 0)
        fillChoices();
    ComboBox1->setCurrentIndex(form.mode);
    ComboBox2->setCurrentIndex(form.frequency);
    ComboBox3->setCurrentIndex(form.weekday);
    ComboBox4->setCurrentIndex(ComboBox4->findText(form.weekday2));
    Edit1->setText(form.name);
    Edit2->setText(form.stationAddress);
    if (form.firstDay.isValid())
        Date1->setDate(form.firstDay);
    if (form.lastDay.isValid())
        Date2->setDate(form.lastDay);
    if (form.startTime.isValid())
        time1->setTime(form.startTime);
    if (form.endTime.isValid())
        Time2->setTime(form.endTime);
    CheckBox1->setChecked(form.enabled);
    m_showing = false;
    collectForm();
}

void TForm_record::collectForm()
{
    if (m_showing)
        return;
    ScheduleForm &form = m_editor.form;
    form.mode = ComboBox1->currentIndex();
    form.name = Edit1->text();
    form.stationAddress = Edit2->text();
    form.frequency = ComboBox2->currentIndex();
    form.firstDay = Date1->date();
    form.lastDay = Date2->date();
    form.startTime = time1->time();
    form.endTime = Time2->time();
    form.weekday = ComboBox3->currentIndex();
    form.weekday2 = ComboBox4->currentText();
    form.enabled = CheckBox1->isChecked();
}

void TForm_record::applyDateControls(ScheduleEditor::DateControls controls)
{
    const bool dates = controls == ScheduleEditor::DateControls::Dates;
    Date1->setVisible(dates);
    Date2->setVisible(dates);
    ComboBox3->setVisible(controls == ScheduleEditor::DateControls::Weekday);
}

void TForm_record::focusField(ScheduleEditor::Field field)
{
    switch (field) {
    case ScheduleEditor::Field::Name:
        Edit1->setFocus();
        break;
    case ScheduleEditor::Field::FirstDay:
        Date1->setFocus();
        break;
    case ScheduleEditor::Field::LastDay:
        Date2->setFocus();
        break;
    case ScheduleEditor::Field::StartTime:
        time1->setFocus();
        break;
    case ScheduleEditor::Field::EndTime:
        Time2->setFocus();
        break;
    }
}
