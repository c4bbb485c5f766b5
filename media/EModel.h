#pragma once

// A listening-quality estimate of a call by the ITU-T G.107 E-model, with its default
// values for everything not measured: R = 93.2 - Idd - Ie,eff. Idd is the impairment
// of the mouth-to-ear delay (talker echo taken as cancelled), Ie,eff the codec's
// impairment grown by random packet loss (G.113's Ie and Bpl per codec). The rating
// becomes a mean opinion score of 1 to 4.5.
class EModel {
public:
    // `codec` is a CodecIndex; -1 when the codec or the figures are not known.
    static double Mos(int codec, double oneWayDelayMs, double lossPercent);
    static double Rating(double equipmentImpairment, double oneWayDelayMs);
    static double MosOfRating(double rating);
    // Idd of G.107: none up to 100 ms.
    static double DelayImpairment(double oneWayDelayMs);
    // -1 for a codec without figures.
    static double EffectiveEquipmentImpairment(int codec, double lossPercent);
};
