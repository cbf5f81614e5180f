#pragma once
// Housekeeping on the file list: adding a row, clearing, deleting the
// selection, the right-button clear, Ctrl+A and the double-click.
#include <QObject>
#include <QString>

class Form1;

class FileListController : public QObject {
    Q_OBJECT
public:
    explicit FileListController(Form1& form);

    // The one way rows enter the list: tab-joined cells, no status cell.
    static void AddRow(Form1& form, const QString& tabText);
    // Header row only, "文件数：0".
    static void ClearList(Form1& form);
    static void UpdateFileCount(Form1& form);

    void CmdDel_Click();
    void MSF_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void MSF_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    void MSF_DblClick();
    void MSF_OLEDragOver();

private:
    Form1& f_;
};
