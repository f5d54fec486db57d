// Data exchange in both directions over real controls, and the validators' messages.
#include "platform/ddx/DataExchange.h"
#include "platform/ui/Dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

enum {
    IDC_PATH = 1010, IDC_FRAME = 1011, IDC_CHECK = 1012, IDC_FIRST_RADIO = 1066,
    IDC_SECOND_RADIO = 1068, IDC_THIRD_RADIO = 1067, IDC_OTHER_RADIO = 1070, IDC_INDEX = 1020,
    IDC_NAMES = 1021,
};

class CFormDlg : public CDialog {
public:
    CFormDlg() : CDialog(600)
    {
        m_pPath = static_cast<QLineEdit*>(AddControl(IDC_PATH, new QLineEdit, {0, 0, 50, 12}));
        m_pFrame = static_cast<QLineEdit*>(AddControl(IDC_FRAME, new QLineEdit, {0, 14, 50, 12}));
        m_pCheck = static_cast<QCheckBox*>(AddControl(IDC_CHECK, new QCheckBox("Record Sound"), {0, 28, 50, 12}));
        // Radio order is the order of the controls, not of their ids.
        m_radios.push_back(static_cast<QRadioButton*>(AddControl(IDC_FIRST_RADIO, new QRadioButton("a"), {60, 0, 40, 12})));
        m_radios.push_back(static_cast<QRadioButton*>(AddControl(IDC_SECOND_RADIO, new QRadioButton("b"), {60, 14, 40, 12})));
        m_radios.push_back(static_cast<QRadioButton*>(AddControl(IDC_THIRD_RADIO, new QRadioButton("c"), {60, 28, 40, 12})));
        // The next group begins here.
        m_pOther = static_cast<QRadioButton*>(AddControl(IDC_OTHER_RADIO, new QRadioButton("d"), {60, 42, 40, 12}));
        m_pOther->setProperty("group", true);
        m_pIndex = static_cast<QComboBox*>(AddControl(IDC_INDEX, new QComboBox, {110, 0, 50, 12}));
        m_pIndex->addItems({"RGB32", "RGB24", "RGB565"});
        m_pNames = static_cast<QComboBox*>(AddControl(IDC_NAMES, new QComboBox, {110, 14, 50, 12}));
        m_pNames->addItems({"Microsoft ADPCM", "MPEG Layer-3", "PCM", "mpeg layer-3 low"});
    }

    BOOL Exchange(BOOL bSave)
    {
        return RunDataExchange(this, bSave, [this](CDataExchange* pDX) {
            DDX_Text(pDX, IDC_PATH, m_strPath);
            DDV_MaxChars(pDX, m_strPath, 255);
            DDX_Text(pDX, IDC_FRAME, m_nFrameRate);
            DDV_MinMaxInt(pDX, m_nFrameRate, 10, 35);
            DDX_Check(pDX, IDC_CHECK, m_bCheck);
            DDX_Radio(pDX, IDC_FIRST_RADIO, m_nRadio);
            DDX_CBIndex(pDX, IDC_INDEX, m_nIndex);
            DDX_CBString(pDX, IDC_NAMES, m_strName);
        });
    }

    std::string m_strPath = "/home/u/";
    int m_nFrameRate = 15;
    int m_bCheck = 1;
    int m_nRadio = 2;
    int m_nIndex = 1;
    std::string m_strName = "mpeg";

    QLineEdit* m_pPath;
    QLineEdit* m_pFrame;
    QCheckBox* m_pCheck;
    std::vector<QRadioButton*> m_radios;
    QRadioButton* m_pOther;
    QComboBox* m_pIndex;
    QComboBox* m_pNames;
};

class DataExchange : public ::testing::Test {
protected:
    DataExchange()
    {
        m_old = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
            m_texts.push_back(r.text);
            return IDOK;
        });
    }
    ~DataExchange() override { SetMessageBoxHandler(m_old); }

    MessageBoxHandler m_old;
    std::vector<std::string> m_texts;
};

} // namespace

TEST_F(DataExchange, FieldsGoIntoControlsAndComeBack)
{
    CFormDlg dlg;
    dlg.m_pOther->setChecked(true);
    ASSERT_TRUE(dlg.Exchange(FALSE));
    EXPECT_EQ(dlg.m_pPath->text(), "/home/u/");
    EXPECT_EQ(dlg.m_pFrame->text(), "15");
    EXPECT_TRUE(dlg.m_pCheck->isChecked());
    EXPECT_TRUE(dlg.m_radios[2]->isChecked());
    EXPECT_FALSE(dlg.m_radios[0]->isChecked());
    EXPECT_TRUE(dlg.m_pOther->isChecked()) << "a button of the next group is left alone";
    EXPECT_EQ(dlg.m_pIndex->currentIndex(), 1);
    EXPECT_EQ(dlg.m_pNames->currentIndex(), 1);

    dlg.m_pPath->setText("/srv/v");
    dlg.m_pFrame->setText(" 30 ");
    dlg.m_pCheck->setChecked(false);
    dlg.m_radios[0]->setChecked(true);
    dlg.m_pIndex->setCurrentIndex(2);
    dlg.m_pNames->setCurrentIndex(2);
    ASSERT_TRUE(dlg.Exchange(TRUE));
    EXPECT_EQ(dlg.m_strPath, "/srv/v");
    EXPECT_EQ(dlg.m_nFrameRate, 30);
    EXPECT_EQ(dlg.m_bCheck, 0);
    EXPECT_EQ(dlg.m_nRadio, 0);
    EXPECT_EQ(dlg.m_nIndex, 2);
    EXPECT_EQ(dlg.m_strName, "PCM");
    EXPECT_TRUE(m_texts.empty());
}

TEST_F(DataExchange, IndexesWithoutAnEntryShowNothingAndReadBackAsMinusOne)
{
    for (int stored : {-1, 3, 99}) {
        SCOPED_TRACE(stored);
        CFormDlg dlg;
        dlg.m_radios[1]->setChecked(true);
        dlg.m_pIndex->setCurrentIndex(0);
        dlg.m_nRadio = stored;
        dlg.m_nIndex = stored;
        ASSERT_TRUE(dlg.Exchange(FALSE));
        for (QRadioButton* radio : dlg.m_radios)
            EXPECT_FALSE(radio->isChecked());
        EXPECT_EQ(dlg.m_pIndex->currentIndex(), -1);
        ASSERT_TRUE(dlg.Exchange(TRUE));
        EXPECT_EQ(dlg.m_nRadio, -1);
        EXPECT_EQ(dlg.m_nIndex, -1);
    }
}

TEST_F(DataExchange, NameListsSearchFromTheSecondEntryIgnoringCase)
{
    CFormDlg dlg;
    struct Case {
        const char* stored;
        int selected;
    };
    // "mpeg" matches entries 1 and 3; "micro" only the first, found after wrapping around; an empty
    // name (a fresh record) takes the first entry.
    const Case cases[] = {{"mpeg", 1}, {"MPEG LAYER-3 L", 3}, {"micro", 0}, {"pcm", 2}, {"Opus", -1}, {"", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        dlg.m_strName = c.stored;
        ASSERT_TRUE(dlg.Exchange(FALSE));
        EXPECT_EQ(dlg.m_pNames->currentIndex(), c.selected);
    }
    // With nothing selected, reading keeps the stored name.
    dlg.m_strName = "Opus";
    ASSERT_TRUE(dlg.Exchange(FALSE));
    ASSERT_TRUE(dlg.Exchange(TRUE));
    EXPECT_EQ(dlg.m_strName, "Opus");

    QComboBox single;
    single.addItem("PCM");
    EXPECT_EQ(FindStringPrefix(&single, "p"), 0);
    QComboBox empty;
    EXPECT_EQ(FindStringPrefix(&empty, ""), -1);
}

TEST_F(DataExchange, ValidatorsShowTheirTextAndStopAtTheControl)
{
    struct Case {
        std::string path;
        std::string frame;
        std::string message;
    };
    const std::string longPath(256, 'p');
    const Case cases[] = {
        {longPath, "20", "Please enter no more than 255 characters."},
        {"/v/", "12x", "Please enter an integer."},
        {"/v/", "", "Please enter an integer."},
        {"/v/", "99999999999", "Please enter an integer."},
        {"/v/", "9", "Please enter an integer between 10 and 35."},
        {"/v/", "36", "Please enter an integer between 10 and 35."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        m_texts.clear();
        CFormDlg dlg;
        dlg.m_pPath->setText(QString::fromStdString(c.path));
        dlg.m_pFrame->setText(QString::fromStdString(c.frame));
        dlg.m_pCheck->setChecked(false);
        EXPECT_FALSE(dlg.Exchange(TRUE));
        EXPECT_EQ(m_texts, std::vector<std::string>{c.message});
        QWidget* expectedFocus = c.path.size() > 255 ? static_cast<QWidget*>(dlg.m_pPath) : dlg.m_pFrame;
        EXPECT_EQ(dlg.focusWidget(), expectedFocus);
        EXPECT_EQ(dlg.m_bCheck, 1) << "fields after the failing one are not read";
    }
    // The limits themselves pass.
    m_texts.clear();
    CFormDlg dlg;
    dlg.m_pPath->setText(QString(255, 'p'));
    for (const char* frame : {"10", "35", "+12"}) {
        dlg.m_pFrame->setText(frame);
        EXPECT_TRUE(dlg.Exchange(TRUE)) << frame;
    }
    EXPECT_TRUE(m_texts.empty());
}

TEST_F(DataExchange, FillingNeverCutsALongerTextAndUnknownControlsAreErrors)
{
    CFormDlg dlg;
    dlg.m_strPath = std::string(300, 'q');
    ASSERT_TRUE(dlg.Exchange(FALSE));
    EXPECT_EQ(dlg.m_pPath->text().size(), 300);
    dlg.m_pPath->insert("q");  // such a text may shrink, not grow
    EXPECT_EQ(dlg.m_pPath->text().size(), 300);

    // The box holds 255 bytes as stored, not 255 letters: 127 two-byte letters leave room for one
    // plain character only.
    dlg.m_strPath = std::string();
    ASSERT_TRUE(dlg.Exchange(FALSE));
    dlg.m_pPath->insert(QString(127, QChar(0x00E9)));
    dlg.m_pPath->insert(QString(QChar(0x00E9)));
    EXPECT_EQ(dlg.m_pPath->text().size(), 127);
    dlg.m_pPath->insert("/");
    EXPECT_EQ(dlg.m_pPath->text().size(), 128);

    EXPECT_THROW(RunDataExchange(&dlg, FALSE,
                                 [](CDataExchange* pDX) {
                                     int value = 0;
                                     DDX_Check(pDX, 4242, value);
                                 }),
                 std::logic_error);
    EXPECT_THROW(RunDataExchange(&dlg, FALSE,
                                 [](CDataExchange* pDX) {
                                     int value = 0;
                                     DDX_Radio(pDX, IDC_PATH, value);
                                 }),
                 std::logic_error);
}
