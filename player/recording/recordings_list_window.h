#pragma once

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QListView;
class QTreeView;
class RecordingsList;

// The recordings list ("Record list"): a drive list, the folder tree of the
// chosen drive and the files of the chosen folder that match the mask. A
// double click plays the file in the main window. Created hidden once;
// closing only hides it, so it opens again on the folder last chosen.
// Until a folder is chosen it opens on the recordings folder, once that
// exists.
class TForm_recordlist : public QDialog
{
    Q_OBJECT
public:
    explicit TForm_recordlist(RecordingsList &list, QWidget *parent = nullptr);

    // The folder shown in the file list.
    QString folder() const;
    void setFolder(const QString &folder);
    void setDrive(const QString &root);

    QComboBox *DriveComboBox1;
    QTreeView *DirectoryListBox1;
    QListView *FileListBox1;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showFolderInTree();

    RecordingsList &m_list;
    // Until the user picks a drive or folder, each opening looks for the
    // recordings folder again (the first recording makes it).
    bool m_userChose = false;
    QFileSystemModel *m_folders;
    QFileSystemModel *m_files;
    QString m_folder;
};
