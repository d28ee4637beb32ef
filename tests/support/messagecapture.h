#pragma once

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the Qt messages sent while it lives, from any thread, so a test
// can require a message to appear exactly once or not at all. Given a type,
// it collects that type alone and passes the others on to the handler that
// was there before, so that unexpected warnings still reach the test log.
// One at a time: the handler is a plain function, with nowhere to keep
// which capture it serves but here.
class MessageCapture
{
public:
    struct Message
    {
        QtMsgType type;
        QString text;
    };

    MessageCapture() { start(); }
    explicit MessageCapture(QtMsgType only) : m_only(only), m_filtered(true) { start(); }
    ~MessageCapture() { stop(); }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    // Ends the capture early, keeping what it collected, so that what the
    // test does next is not counted.
    void stop()
    {
        if (s_active != this)
            return;
        qInstallMessageHandler(m_previous);
        s_active = nullptr;
    }

    QList<Message> messages() const
    {
        const QMutexLocker locked(&m_mutex);
        return m_messages;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Message &m : messages())
            out.append(m.text);
        return out;
    }
    void clear()
    {
        const QMutexLocker locked(&m_mutex);
        m_messages.clear();
    }

private:
    void start()
    {
        if (s_active)
            qFatal("MessageCapture: a second capture while one is running");
        s_active = this;
        m_previous = qInstallMessageHandler(&MessageCapture::handle);
    }

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        MessageCapture *const capture = s_active;
        if (!capture)
            return;
        if (capture->m_filtered && type != capture->m_only) {
            if (capture->m_previous)
                capture->m_previous(type, context, text);
            return;
        }
        const QMutexLocker locked(&capture->m_mutex);
        capture->m_messages.append(Message{type, text});
    }

    const QtMsgType m_only = QtDebugMsg;
    const bool m_filtered = false;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QList<Message> m_messages;
    static inline MessageCapture *s_active = nullptr;
};
