#include "app/Form1.h"

#include "app/StatusPanels.h"
#include "app/UpDown.h"
#include "app/VbCombo.h"
#include "batch/BatchRun.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "filelist/Intake.h"
#include "options/Interlocks.h"
#include "options/ModeSwitch.h"
#include "options/OptionValidators.h"
#include "options/SizeSwap.h"
#include "update/Updater.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

const QString Form1::kCaption = QStringLiteral("沃岑视频封面批量替换器");

namespace {

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QCheckBox* check(const char* name, const QString& caption, const QString& tip = {}) {
    auto* c = named(new QCheckBox(caption), name);
    if (!tip.isEmpty()) c->setToolTip(tip);
    return c;
}

QPushButton* button(const char* name, const QString& caption) { return named(new QPushButton(caption), name); }

VbCombo* combo(const char* name, bool editable, const QStringList& items) {
    auto* c = named(new VbCombo(editable), name);
    c->addItems(items);
    return c;
}

QStringList percentItems() {
    QStringList l;
    for (int p = 90; p >= 10; p -= 10) l << QString::number(p) + "%";
    return l;
}

}  // namespace

Form1::Form1(const QString& appPath, Services svc, QWidget* parent)
    : QMainWindow(parent), services(svc), AppPathGlobal(appPath) {
    setObjectName("Form1");
    setWindowTitle(kCaption);
    buildControls();

    fileList = std::make_unique<FileListController>(*this);
    interlocks = std::make_unique<Interlocks>(*this);
    validators = std::make_unique<OptionValidators>(*this);
    sizeSwap = std::make_unique<SizeSwap>(*ChSwap, *CmbSize);
    modeSwitch = std::make_unique<ModeSwitch>(*this);
    intake = std::make_unique<Intake>(*this);
    batch = std::make_unique<BatchRun>(*this);
    updater = std::make_unique<Updater>(*this);

    connect(CmdAbout, &QPushButton::clicked, this, &Form1::CmdAbout_Click);
    connect(Stb, &StatusPanels::PanelClick, this, &Form1::Stb_PanelClick);
}

Form1::~Form1() = default;

void Form1::buildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* root = new QVBoxLayout(central);

    // Intake buttons.
    Frame1 = named(new QGroupBox(QStringLiteral("文件操作：")), "Frame1");
    CmdAddMp4 = button("CmdAddMp4", QStringLiteral("指定视频..."));
    CmdCover = button("CmdCover", QStringLiteral("添加封面图..."));
    CmdReadMp4 = button("CmdReadMp4", QStringLiteral("读入封面"));
    CmdDel = button("CmdDel", QStringLiteral("删除选中"));
    CmdIndir = button("CmdIndir", QStringLiteral("输入目录..."));
    CmdOutDir = button("CmdOutDir", QStringLiteral("输出目录..."));
    auto* f1 = new QHBoxLayout(Frame1);
    for (auto* b : {CmdAddMp4, CmdCover, CmdReadMp4, CmdDel, CmdIndir, CmdOutDir}) f1->addWidget(b);
    f1->addStretch(1);
    root->addWidget(Frame1);

    // Chosen base file and folders.
    auto* paths = new QGridLayout;
    LBaseVC = named(new QLabel(QStringLiteral("基准视频：")), "LBaseVC");
    LBase = named(new QLabel(QStringLiteral("基准视频未指定")), "LBase");
    LInDir = named(new QLabel(QStringLiteral("/")), "LInDir");
    LDir = named(new QLabel(QString()), "LDir");
    for (auto* l : {LBase, LInDir, LDir}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    paths->addWidget(LBaseVC, 0, 0);
    paths->addWidget(LBase, 0, 1);
    paths->addWidget(new QLabel(QStringLiteral("输入目录：")), 1, 0);
    paths->addWidget(LInDir, 1, 1);
    paths->addWidget(new QLabel(QStringLiteral("输出目录：")), 2, 0);
    paths->addWidget(LDir, 2, 1);
    paths->setColumnStretch(1, 1);
    root->addLayout(paths);

    // The file list.
    MSF = named(new FileGrid, "MSF");
    MSF->setFont(QFont(QStringLiteral("宋体")));
    MSF->setToolTip(QStringLiteral("Ctrl+A全选；右键清空文件列表；双击打开当前视频/图片"));
    root->addWidget(MSF, 1);

    auto* bottom = new QHBoxLayout;
    root->addLayout(bottom);

    // Options of a run.
    Frame2 = named(new QGroupBox(QStringLiteral("参数设置：")), "Frame2");
    auto* f2 = new QGridLayout(Frame2);
    CmbType = combo("CmbType", false,
                    {QStringLiteral("一个视频对应多张封面图，生成内容相同、封面不同的系列视频"),
                     QStringLiteral("一个视频对应一张封面图，直接修改该MP4的封面图"),
                     QStringLiteral("一张封面图对应多个视频，直接修改该视频的封面图"),
                     QStringLiteral("截取视频随机/指定帧作为封面图"),
                     QStringLiteral("随机抽取视频前10秒内的某帧作为封面图并同名保存在源视文件夹中")});
    f2->addWidget(new QLabel(QStringLiteral("处理模式：")), 0, 0);
    f2->addWidget(CmbType, 0, 1, 1, 5);

    ChMp3 = check("ChMp3", QStringLiteral("处理mp3"));
    ChSaveAs = check("ChSaveAs", QStringLiteral("另存为"));
    ChNum = check("ChNum", QStringLiteral("递增更名"),
                  QStringLiteral("输出文件为视频文件名+(数字)样式，否则为原视频文件名+图片封面文件名"));
    ChSub = check("ChSub", QStringLiteral("含子文件夹"),
                  QStringLiteral("勾选并使用【载入视频】按钮时，将读取输入目录下的子文件夹中的目标文件"));
    ChDoSels = check("ChDoSels", QStringLiteral("处理选中的"));
    ChDelRecover = check("ChDelRecover", QStringLiteral("删除/还原封面"));
    ChFileNameAs = check("ChFileNameAs", QStringLiteral("文件名作封面"));
    ChColor = check("ChColor", QStringLiteral("黑底白字"), QStringLiteral("默认白底黑字"));
    ChAutoMatch = check("ChAutoMatch", QStringLiteral("自动匹配同名封面图"));
    ChAsHead = check("ChAsHead", QStringLiteral("附加为片头"),
                     QStringLiteral("不替换视频封面图，而是将该封面图作为片头附加到原视频的片首"));
    const QList<QCheckBox*> row1{ChMp3, ChSaveAs, ChNum, ChSub, ChDoSels};
    const QList<QCheckBox*> row2{ChDelRecover, ChFileNameAs, ChColor, ChAutoMatch, ChAsHead};
    for (int i = 0; i < row1.size(); ++i) f2->addWidget(row1[i], 1, i);
    for (int i = 0; i < row2.size(); ++i) f2->addWidget(row2[i], 2, i);

    ChCutTime = check("ChCutTime", QStringLiteral("时间轴裁剪"));
    TTimeCut = named(new QLineEdit(QStringLiteral("5,3")), "TTimeCut");
    ChCutSize = check("ChCutSize", QStringLiteral("画面裁剪"));
    TSizeCut = named(new QLineEdit(QStringLiteral("1,2,3,4")), "TSizeCut");
    f2->addWidget(ChCutTime, 3, 0);
    f2->addWidget(TTimeCut, 3, 1);
    f2->addWidget(ChCutSize, 3, 2);
    f2->addWidget(TSizeCut, 3, 3);

    Frame3 = named(new QGroupBox(QStringLiteral("截图为封面设置：")), "Frame3");
    auto* f3 = new QHBoxLayout(Frame3);
    TPos = named(new QLineEdit(QStringLiteral("1")), "TPos");
    TPos->setMaximumWidth(80);
    UpDown1 = named(new UpDown(TPos), "UpDown1");
    LPos = named(new QLabel(QStringLiteral("秒")), "LPos");
    ChPercent = check("ChPercent", QStringLiteral("百分比"));
    f3->addWidget(new QLabel(QStringLiteral("指定时刻：")));
    f3->addWidget(TPos);
    f3->addWidget(UpDown1);
    f3->addWidget(LPos);
    f3->addWidget(ChPercent);
    f3->addStretch(1);
    f2->addWidget(Frame3, 4, 0, 1, 5);
    bottom->addWidget(Frame2, 3);

    // Re-encoding options.
    auto* right = new QVBoxLayout;
    ChOther = check("ChOther", QStringLiteral("附加功能"));
    right->addWidget(ChOther);
    Frame4 = named(new QGroupBox(QStringLiteral("附加功能设置：")), "Frame4");
    auto* f4 = new QGridLayout(Frame4);
    QStringList sizes{QStringLiteral("保持原尺寸")};
    sizes << percentItems();
    sizes << QStringList{"1024x576", "1024x600", "1024x768", "1280x720", "1280x768", "1280x800",
                         "1920x1080", "1920x1200", "2560x1440", "320x240", "400x240", "432x240",
                         "480x270", "480x272", "480x320", "480x360", "640x360", "640x480",
                         "720x480", "800x480", "800x600", "854x480", "960x540", "960x640",
                         "960x720", "1280x?", "?x960"};
    CmbSize = combo("CmbSize", true, sizes);
    CmbSize->setToolTip(QStringLiteral("问号代表自动缩放，自动计算"));
    QStringList vbits{QStringLiteral("保持源视频比特率")};
    vbits << percentItems() << QStringLiteral("自定义比如200");
    CmbVBit = combo("CmbVBit", true, vbits);
    CmbFrms = combo("CmbFrms", false,
                    {QStringLiteral(" 保持原帧频"), " 30", " 25", " 24", " 20", " 18", " 16", " 12"});
    CmbVCode = combo("CmbVCode", false, {QStringLiteral("H.264")});
    CmbABit = combo("CmbABit", false,
                    {QStringLiteral("保持源音频比特率"), "320", "256", "224", "192", "128", "112", "96", "80", "64", "56"});
    CmbARate = combo("CmbARate", false,
                     {QStringLiteral("保持源音频采样率"), "48000", "44100", "32000", "24000", "22050", "16000"});
    CmbComp = combo("CmbComp", false, {});
    ChSpeed = check("ChSpeed", QStringLiteral("硬件加速"),
                    QStringLiteral("支持硬件加速，开启则可以加快处理速度2到20倍"));
    ChSwap = check("ChSwap", QStringLiteral("宽高对调"));
    const QList<QPair<QString, QWidget*>> opts{
        {QStringLiteral("尺寸："), CmbSize},     {QStringLiteral("视频码率："), CmbVBit},
        {QStringLiteral("帧频："), CmbFrms},     {QStringLiteral("视频编码："), CmbVCode},
        {QStringLiteral("音频码率："), CmbABit}, {QStringLiteral("音频采样率："), CmbARate},
        {QStringLiteral("压缩率："), CmbComp}};
    for (int i = 0; i < opts.size(); ++i) {
        f4->addWidget(new QLabel(opts[i].first), i / 2, (i % 2) * 2);
        f4->addWidget(opts[i].second, i / 2, (i % 2) * 2 + 1);
    }
    f4->addWidget(ChSpeed, 3, 2);
    f4->addWidget(ChSwap, 3, 3);
    right->addWidget(Frame4);
    right->addStretch(1);
    bottom->addLayout(right, 2);

    // Run and window buttons.
    auto* cmds = new QVBoxLayout;
    CmdDo = button("CmdDo", QStringLiteral("更换封面"));
    CmdDo->setProperty("Tag", QStringLiteral("更换封面"));
    CmdDo->setMinimumHeight(60);
    CmdStop = button("CmdStop", QStringLiteral("停止"));
    CmdAbout = button("CmdAbout", QStringLiteral("关于"));
    CmdUpdate = button("CmdUpdate", QStringLiteral("更新"));
    CmdUpdate->setStyleSheet(QStringLiteral("background-color: rgb(0, 255, 0);"));
    for (auto* b : {CmdDo, CmdStop, CmdAbout, CmdUpdate}) cmds->addWidget(b);
    cmds->addStretch(1);
    bottom->addLayout(cmds);

    TV = named(new QLineEdit(QStringLiteral("023"), central), "TV");
    TV->hide();

    Stb = named(new StatusPanels(this), "Stb");
    setStatusBar(Stb);

    // Design-time states.
    ChAsHead->hide();
    ChAutoMatch->hide();
    ChDoSels->setEnabled(false);
    ChColor->setEnabled(false);
    ChSwap->setEnabled(false);
    Frame3->setEnabled(false);
    Frame4->setEnabled(false);
    TTimeCut->setEnabled(false);
    TSizeCut->setEnabled(false);
    CmdStop->hide();
    CmdUpdate->setEnabled(false);
    CmbSize->SetText(QStringLiteral("1280x?"));
    CmbVBit->SetText(QStringLiteral("保持源视频比特率"));

    CdgMp4.DialogTitle = QStringLiteral("添加MP4视频文件");
    CdgMp4.Filter = QStringLiteral("MP4视频文件|*.mp4");
    CmdPic.DialogTitle = QStringLiteral("指定封面图片文件");
    CmdPic.Filter = QStringLiteral("图片文件|*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.tif;*.tiff");

    resize(1280, 800);
}

int Form1::ProcessingMode() const { return CmbType->ListIndex(); }

QString Form1::ProgressText() const { return Stb->PanelText(StatusPanels::kProgressPanel); }

void Form1::SetProgressText(const QString& text) { Stb->SetPanelText(StatusPanels::kProgressPanel, text); }

QString Form1::CmdDoTag() const { return CmdDo->property("Tag").toString(); }

void Form1::ShowOpen(CommonDialog& dlg) {
    FileDialogRequest req;
    req.title = dlg.DialogTitle;
    req.filter = dlg.Filter;
    req.flags = dlg.Flags;
    dlg.FileName = services.dialogs->OpenFile(req);
}

void Form1::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    closed_ = true;
    event->accept();
}
