#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Collects every Qt message sent while it lives, so a test can require a
// message to appear exactly once or not at all.
class MessageCapture
{
public:
    struct Message
    {
        QtMsgType type;
        QString text;
    };

    MessageCapture() : m_previous(qInstallMessageHandler(&MessageCapture::handle))
    {
        s_messages.clear();
    }
    ~MessageCapture() { qInstallMessageHandler(m_previous); }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    static const QList<Message> &messages() { return s_messages; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        s_messages.append(Message{type, text});
    }

    QtMessageHandler m_previous;
    static inline QList<Message> s_messages;
};
