#pragma once

#include "link/Bytes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <map>
#include <vector>

// Faults the on-board devices can show, for testing the client's programming dialogue.
struct TDeviceFaults {
    bool silent = false;     // no device answers anything (the client's check timer)
    bool paramError = false; // writes are refused: "ZZ" after the fourth block, "A8" after the
                             // equipment packet, and nothing is kept
    bool cutReport = false;  // the last form-3 report and the form-1 report are cut short

    // Takes the device switches out of the command line; false with error text on misuse.
    bool take(QStringList &args, QString &error);
    static QString usage();
};

// The on-board devices of the simulated objects as the programming dialogue sees them: the
// command letters of the client ("о" 0x3E ... "ф" 0x44, then the object number) arrive as
// plaintext lines; each device keeps what was written into it and answers with the status
// signatures a device sends and with its two parameter reports, built from what it keeps.
class TDeviceSide {
public:
    using TReply = std::function<void(int object, const TBytes &payload)>;
    using TLog = std::function<void(const QString &)>;

    TDeviceSide(std::vector<int> objects, TDeviceFaults faults, TLog log);

    // A plaintext line from a client: true when it is a programming command (answered, when
    // at all, through reply), false for anything else.
    bool handleLine(const TBytes &plain, const TReply &reply);

    // What a device keeps (exposed for the simulator's own tests).
    struct TEquipment {
        int lowerCode = 0, upperCode = 0, batteryCode = 0; // 10-bit codes
        int pump = 4, minTemp = 5, maxTemp = 12, coef = 4; // pick-list indices
        bool canWorkWithEngine = false, heater2 = false;
    };
    struct TDevice {
        enum class Mode { Idle, Connection, Blocks, Equipment, EquipmentPacket };
        Mode mode = Mode::Idle;
        int nextBlock = 0;
        std::array<TBytes, 4> blocks;  // as last written, ":"-separated, ">"-ended
        std::array<TBytes, 4> pending; // of the write in progress
        TEquipment equipment;
        QDateTime clock; // set by the equipment packet when it carries the time
    };
    static TDevice factoryDevice();
    // The reports a device sends: form 3 for block 1..4, form 1.
    static TBytes form3Report(const TDevice &d, int block);
    static TBytes form1Report(const TDevice &d);

private:
    void answer(int object, TDevice &d, unsigned char letter, const TBytes &tail,
                const TReply &reply);
    void takePacket(int object, TDevice &d, const TBytes &packet, const TReply &reply);
    void log(const QString &text) const;

    std::vector<int> m_objects;
    TDeviceFaults m_faults;
    TLog m_log;
    std::map<int, TDevice> m_devices;
};
