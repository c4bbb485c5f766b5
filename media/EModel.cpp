#include "media/EModel.h"

#include "media/CodecSet.h"

#include <algorithm>
#include <cmath>

namespace {

// R with G.107's default values and no impairment of delay or equipment.
constexpr double DefaultRating = 93.2;

struct Impairment {
    double equipment; // Ie
    double robustness; // Bpl
};

// G.113, Appendix I where it lists the codec; GSM 06.10's robustness is not listed
// there and takes G.729A's, iLBC's the figure usually given for its frame-independent
// coding. G.711 is counted with concealment: lost packets are covered by repeats.
bool ImpairmentOf(int codec, Impairment& impairment)
{
    switch (codec) {
    case CodecSet::Pcmu:
    case CodecSet::Pcma: impairment = {0, 25.1}; return true;
    case CodecSet::Gsm: impairment = {20, 19.0}; return true;
    case CodecSet::G729: impairment = {11, 19.0}; return true;
    case CodecSet::Ilbc: impairment = {11, 32.0}; return true;
    default: return false;
    }
}

} // namespace

double EModel::DelayImpairment(double oneWayDelayMs)
{
    if (oneWayDelayMs <= 100)
        return 0;
    const double x = std::log10(oneWayDelayMs / 100) / std::log10(2.0);
    return 25 * (std::pow(1 + std::pow(x, 6), 1.0 / 6) - 3 * std::pow(1 + std::pow(x / 3, 6), 1.0 / 6) + 2);
}

double EModel::EffectiveEquipmentImpairment(int codec, double lossPercent)
{
    Impairment impairment{};
    if (!ImpairmentOf(codec, impairment))
        return -1;
    const double loss = std::clamp(lossPercent, 0.0, 100.0);
    // Random loss: BurstR is 1.
    return impairment.equipment + (95 - impairment.equipment) * loss / (loss + impairment.robustness);
}

double EModel::Rating(double equipmentImpairment, double oneWayDelayMs)
{
    return DefaultRating - DelayImpairment(std::max(0.0, oneWayDelayMs)) - equipmentImpairment;
}

double EModel::MosOfRating(double rating)
{
    if (rating <= 0)
        return 1;
    if (rating >= 100)
        return 4.5;
    return 1 + 0.035 * rating + rating * (rating - 60) * (100 - rating) * 7e-6;
}

double EModel::Mos(int codec, double oneWayDelayMs, double lossPercent)
{
    const double equipment = EffectiveEquipmentImpairment(codec, lossPercent);
    return equipment < 0 ? -1 : MosOfRating(Rating(equipment, oneWayDelayMs));
}
