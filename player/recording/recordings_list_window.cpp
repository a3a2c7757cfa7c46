#include "recording/recordings_list_window.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QTreeView>

#include "recording/recordings_list.h"

TForm_recordlist::TForm_recordlist(RecordingsList &list, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_list(list)
{
    setObjectName(QStringLiteral("Form_recordlist"));
    setWindowTitle(QStringLiteral("Record list"));
    setFixedSize(474, 275);

    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DriveComboBox1->setGeometry(24, 16, 225, 22);
    DriveComboBox1->addItems(RecordingsList::drives());

    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_folders->setRootPath(QDir::rootPath());
    DirectoryListBox1 = new QTreeView(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setGeometry(24, 40, 225, 201);
    DirectoryListBox1->setModel(m_folders);
    DirectoryListBox1->setHeaderHidden(true);
    for (int column = 1; column < m_folders->columnCount(); ++column)
        DirectoryListBox1->hideColumn(column);

    m_files = new QFileSystemModel(this);
    m_files->setFilter(QDir::Files);
    m_files->setNameFilters(RecordingsList::nameFilters());
    m_files->setNameFilterDisables(false);
    FileListBox1 = new QListView(this);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setGeometry(256, 40, 193, 201);
    FileListBox1->setModel(m_files);

    // Each control drives the next: drive -> folder tree -> file list.
    connect(DriveComboBox1, &QComboBox::textActivated, this, [this](const QString &root) {
        m_userChose = true;
        setDrive(root);
    });
    auto choose = [this](const QModelIndex &index) {
        m_userChose = true;
        setFolder(m_folders->filePath(index));
    };
    connect(DirectoryListBox1, &QTreeView::clicked, this, choose);
    connect(DirectoryListBox1, &QTreeView::activated, this, choose);
    // The tree reads folders as it goes: once the chosen folder's parents
    // are read, it is shown and selected.
    connect(m_folders, &QFileSystemModel::directoryLoaded, this, &TForm_recordlist::showFolderInTree);
    connect(FileListBox1, &QListView::doubleClicked, this,
            [this](const QModelIndex &index) { m_list.play(m_files->filePath(index)); });

    setFolder(m_list.initialFolder());
}

void TForm_recordlist::showEvent(QShowEvent *event)
{
    if (!m_userChose) {
        const QString initial = QDir(m_list.initialFolder()).absolutePath();
        if (initial != m_folder)
            setFolder(initial);
    }
    QDialog::showEvent(event);
}

QString TForm_recordlist::folder() const
{
    return m_folder;
}

void TForm_recordlist::setDrive(const QString &root)
{
    DirectoryListBox1->setRootIndex(m_folders->index(root));
    setFolder(root);
}

void TForm_recordlist::setFolder(const QString &folder)
{
    m_folder = QDir(folder).absolutePath();
    const QString drive = RecordingsList::driveOf(m_folder);
    const int driveRow = DriveComboBox1->findText(drive);
    if (driveRow >= 0)
        DriveComboBox1->setCurrentIndex(driveRow);
    DirectoryListBox1->setRootIndex(m_folders->index(drive));
    showFolderInTree();
    FileListBox1->setRootIndex(m_files->setRootPath(m_folder));
}

void TForm_recordlist::showFolderInTree()
{
    const QModelIndex index = m_folders->index(m_folder);
    if (!index.isValid())
        return;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        DirectoryListBox1->expand(parent);
    DirectoryListBox1->setCurrentIndex(index);
    DirectoryListBox1->scrollTo(index, QAbstractItemView::PositionAtCenter);
}
