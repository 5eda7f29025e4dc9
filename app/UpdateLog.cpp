#include "UpdateLog.h"

#include <QCoreApplication>
#include <QTextBrowser>
#include <QVBoxLayout>

// The page's form: one text browser filling the page.
class Ui_UpdateLog
{
public:
    QVBoxLayout *verticalLayout;
    QTextBrowser *textBrowser;

    void setupUi(QWidget *UpdateLog)
    {
        if (UpdateLog->objectName().isEmpty())
            UpdateLog->setObjectName(QStringLiteral("UpdateLog"));
        verticalLayout = new QVBoxLayout(UpdateLog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        textBrowser = new QTextBrowser(UpdateLog);
        textBrowser->setObjectName(QStringLiteral("textBrowser"));
        verticalLayout->addWidget(textBrowser);

        retranslateUi(UpdateLog);
    }

    void retranslateUi(QWidget *UpdateLog)
    {
        Q_UNUSED(UpdateLog)
        // Newest version first; the program never checks for updates itself,
        // hence the red notice on top.
        textBrowser->setHtml(QCoreApplication::translate("UpdateLog",
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" \"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
            "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
            "p, li { white-space: pre-wrap; }\n"
            "</style></head>"
            "<body style=\"font-family:'微软雅黑','Microsoft YaHei','WenQuanYi Micro Hei',sans-serif; font-size:9pt; font-weight:400; font-style:normal; color:#333333;\">\n"

            "<p align=\"center\" style=\"margin-top:6px; margin-bottom:10px;\">"
            "<span style=\"font-family:'微软雅黑','Microsoft YaHei','WenQuanYi Micro Hei',sans-serif; font-size:10pt; color:#ff0000;\">"
            "软件不会自动提示更新，想及时用上新版本，请多关注软件的发布帖。</span></p>\n"

            "<p style=\"margin-top:12px; margin-bottom:6px; background-color:#fafafa;\">"
            "<span style=\"font-size:11pt; font-weight:600;\">V 1.2【2023.04.16】</span></p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 粘贴文本时不再清空编辑框里已有的内容。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 新的合成不再删除之前合成的结果。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 提升多人配音的合成速度。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 启动时显示语音服务的输出，服务出错时可以直接看到报错信息。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 语音服务重新以调试模式运行，此模式会启动多个服务进程；关闭软件时会把它们全部结束。</p>\n"

            "<p style=\"margin-top:12px; margin-bottom:6px; background-color:#fafafa;\">"
            "<span style=\"font-size:11pt; font-weight:600;\">V 1.1【2023.04.15】</span></p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 修复多人配音文本中含有空行时合成失败的问题。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 修复配音时语音服务启动过多进程的问题。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 修复软件先于语音服务就绪时，启动即报错误码 1 的问题。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 加快语音服务的启动速度。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 优化文本切分规则。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 语音服务会逐个检查生成的音频文件，避免合并时出错。</p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">&amp; 语音服务改为以生产模式运行，不再使用调试模式。</p>\n"

            "<p style=\"margin-top:12px; margin-bottom:6px; background-color:#fafafa;\">"
            "<span style=\"font-size:11pt; font-weight:600;\">V 1.0【2023.04.13】</span></p>\n"
            "<p style=\"margin-top:2px; margin-bottom:2px; margin-left:12px;\">* 首个版本发布，支持多人配音、全局停顿等基础功能。</p>\n"
            "</body></html>",
            nullptr));
    }
};

UpdateLog::UpdateLog(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_UpdateLog)
{
    ui->setupUi(this);
}

UpdateLog::~UpdateLog()
{
    delete ui;
}
