#pragma once

#include "cti/CtiRecordFile.h"
#include "cti/CtiRecordText.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTimer>

// A CTI client of the text files, written for the tests: it writes commands into
// INPUT.INI and, while it reads, takes every OUTPUT.INI record within 20 ms of its
// appearance, keeping the record ("COMMAND|PARAMETER|MESSAGE"), the file's text and
// when it came.
class FileClient {
public:
    explicit FileClient(const QString& folder)
        : input_(folder + "/INPUT.INI"), output_((folder + "/OUTPUT.INI").toStdString())
    {
        clock.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(20);
    }

    // Writes the three keys at once, as a careful client does.
    void Command(const QString& command, const QString& parameter = {})
    {
        Write("[ACTION]\nCOMMAND=" + command + "\nPARAMETER=" + parameter + "\nMESSAGE=\n");
    }
    void Write(const QString& text, QIODevice::OpenMode mode = QIODevice::Truncate)
    {
        QFile file(input_);
        file.open(QIODevice::WriteOnly | mode);
        file.write(text.toUtf8());
    }
    bool InputExists() const { return QFile::exists(input_); }

    void StopReading() { timer_.stop(); }
    void StartReading() { timer_.start(20); }

    // Whether a record equal to `record` came after the first `from`; its index or -1.
    int IndexOf(const QString& record, int from = 0) const { return records.indexOf(record, from); }

    QStringList records;
    QStringList texts;
    QList<qint64> times;
    QElapsedTimer clock;

private:
    void Poll()
    {
        if (!output_.HasContent())
            return;
        const std::optional<std::string> text = output_.Take(64 * 1024);
        if (!text)
            return;
        const CtiEventQueue::Record record = CtiRecordText::Parse(*text).record;
        records.append(QString::fromStdString(record.command + "|" + record.parameter + "|" + record.message));
        texts.append(QString::fromStdString(*text));
        times.append(clock.elapsed());
    }

    QString input_;
    CtiRecordFile output_;
    QTimer timer_;
};
