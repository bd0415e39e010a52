#include "online/ControllableObject.h"


namespace {

int bit(unsigned char b, int n) {
    return (b >> n) & 1;
}

int32_t roundToInt(long double v) {
    return static_cast<int32_t>(roundHalfEven(v));
}

// Values of 12 bits in the long form: five bits of the first byte, seven of the second.
int value12(unsigned char hi, unsigned char lo) {
    return (hi & 0x1F) * 128 + (lo & 0x7F);
}

} // namespace

QString TControllableObject::GetLabel() const {
    return ShortName.isEmpty() ? QString::number(Number) : ShortName;
}

void TControllableObject::DecodeSostString(const QByteArray &SostStringB) {
    FuelLevel = 0;
    const int L = static_cast<int>(SostStringB.size());
    if (L < 4)
        return;
    auto S = [&](int i) { return static_cast<unsigned char>(SostStringB[i]); };

    if (L >= 20) {
        Version = S(0) & 0x0F;
        KungTrailer = bit(S(3), 0);
        ExOut2 = bit(S(3), 1);
        V24Gen = bit(S(3), 2);
        TankCoverSensor = bit(S(3), 3);
        ExOut1 = 0;
        AlertBtn = 0;
        FuelLevel = value12(S(16), S(17));
        const int raw = value12(S(18), S(19));
        BoardVoltage = roundToInt((raw * 0.02036L + 1.2575L) * 1000);
        return;
    }

    AlertBtn = bit(S(1), 0);
    int v = bit(S(1), 3) + 2 * bit(S(1), 5);
    if (L >= 12)
        v += 4 * bit(S(11), 5);
    Version = v;
    // Supply voltage divider and ADC reference of the device generations.
    const int reference = v <= 1 ? 5000 : 3300;
    const int R1 = v <= 1 ? 24000 : 15000;
    const int R2 = v <= 1 ? 4700 : 3300;
    if (v > 0 && L >= 9) {
        KungTrailer = bit(S(4), 0);
        ExOut2 = bit(S(4), 2);
        V24Gen = bit(S(4), 3);
        ExOut1 = bit(S(4), 4);
        TankCoverSensor = bit(S(4), 5);
        FuelLevel = (S(5) & 3) * 256 + S(6);
        int raw = (S(7) & 3) * 256 + S(8);
        if (v >= 3) {
            BoardVoltage = roundToInt((raw * 0.02036L + 1.2575L) * 1000);
        } else {
            raw = raw * reference / 1024;
            BoardVoltage = roundToInt(static_cast<long double>(R1 + R2) / R2 * raw);
        }
        // The temperature bytes exist only in strings of 11 bytes or more.
        if (v >= 3 && L >= 11) {
            const int t = (S(9) & 3) * 256 + S(10);
            Temperature = static_cast<double>(t * 0.2988L - 46.44L);
        }
    }
}

QString TControllableObject::PackTimeText() const {
    if (!PackTime)
        return QString();
    if (std::isnan(*PackTime))
        return QStringLiteral("нет данных");
    return dt::dateTimeToStr(*PackTime);
}

std::optional<TDateTime> TControllableObject::validPackTime() const {
    if (!PackTime || std::isnan(*PackTime))
        return std::nullopt;
    return PackTime;
}
