#include "About.h"

#include <QCoreApplication>
#include <QTextBrowser>
#include <QVBoxLayout>

// The page's form: one text browser filling the page.
class Ui_About
{
public:
    QVBoxLayout *verticalLayout;
    QTextBrowser *textBrowser;

    void setupUi(QWidget *About)
    {
        if (About->objectName().isEmpty())
            About->setObjectName(QStringLiteral("About"));
        verticalLayout = new QVBoxLayout(About);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        textBrowser = new QTextBrowser(About);
        textBrowser->setObjectName(QStringLiteral("textBrowser"));
        verticalLayout->addWidget(textBrowser);

        retranslateUi(About);
    }

    void retranslateUi(QWidget *About)
    {
        Q_UNUSED(About)
        // Headings sit on a light grey band; the fourth usage note is dark red
        // because ignoring it costs words in the result.
        textBrowser->setHtml(QCoreApplication::translate("About",
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" \"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
            "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
            "p, li { white-space: pre-wrap; }\n"
            "</style></head>"
            "<body style=\"font-family:'微软雅黑','Microsoft YaHei','WenQuanYi Micro Hei',sans-serif; font-size:9pt; font-weight:400; font-style:normal; color:#333333;\">\n"

            "<p style=\"margin-top:6px; margin-bottom:6px; background-color:#fafafa;\">"
            "<span style=\"font-size:11pt; font-weight:600;\">使用需知：</span></p>\n"
            "<p style=\"margin-top:4px; margin-bottom:4px; margin-left:12px;\"><span style=\"font-size:12px;\">"
            "1. 软件的声音全部来自随软件附带的本地离线语音服务，无需联网；这些声音不支持情感和说话风格，因此无法设置。</span></p>\n"
            "<p style=\"margin-top:4px; margin-bottom:4px; margin-left:12px;\"><span style=\"font-size:12px;\">"
            "2. 本软件仅供交流学习使用，严禁用于任何商业用途。</span></p>\n"
            "<p style=\"margin-top:4px; margin-bottom:4px; margin-left:12px;\"><span style=\"font-size:12px;\">"
            "3. 本软件免费分享、用爱发电。如果你是花钱从别处买到的，说明你被骗了，请立即举报卖家。</span></p>\n"
            "<p style=\"margin-top:4px; margin-bottom:4px; margin-left:12px;\"><span style=\"font-size:12px; color:#ab0000;\">"
            "4. 全局停顿是实验功能，可能会出现吞字的情况。建议把全局停顿设为 0，合成之后再用音频编辑软件自行添加停顿。</span></p>\n"

            "<p style=\"margin-top:18px; margin-bottom:6px; background-color:#fafafa;\">"
            "<span style=\"font-size:11pt; font-weight:600;\">多人配音问题：</span></p>\n"
            "<p style=\"margin-top:4px; margin-bottom:4px; margin-left:12px;\"><span style=\"font-size:12px;\">"
            "1. 用鼠标选中一段文字，文字上方会列出当前地区的全部声音，点击其中一个，这段文字就由该声音来读。</span></p>\n"
            "<p style=\"margin-top:4px; margin-bottom:4px; margin-left:12px;\"><span style=\"font-size:12px;\">"
            "2. 跨越多行的段落同样可以指定声音，只是选中后文字的颜色不会变化，不影响合成结果。</span></p>\n"

            "<p style=\"margin-top:18px; margin-bottom:6px; background-color:#fafafa;\">"
            "<span style=\"font-size:11pt; font-weight:600;\">关于作者：</span></p>\n"
            "<p style=\"margin-top:4px; margin-bottom:4px; margin-left:12px;\"><span style=\"font-size:12px;\">"
            "1. 使用中遇到任何问题，请到软件的发布处留言反馈，作者看到后会尽快处理。</span></p>\n"
            "</body></html>",
            nullptr));
    }
};

About::About(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_About)
{
    ui->setupUi(this);
}

About::~About()
{
    delete ui;
}
