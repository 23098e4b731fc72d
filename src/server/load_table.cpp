#include "load_table.h"

void LoadTable::loadDataToBits(quint16 mask)
{
    for (int load = 1; load <= kHighestLoad; ++load)
        put(load, (mask >> (load - 1)) & 1u);
}

quint16 LoadTable::bitsToLoadData() const
{
    quint16 mask = 0;
    for (int load = 1; load <= kHighestLoad; ++load) {
        if (bits_[load])
            mask |= quint16(1u << (load - 1));
    }
    return mask;
}

bool LoadTable::isOn(int load) const
{
    return load >= 0 && load <= kHighestLoad && bits_[load];
}

bool LoadTable::set(int load, bool on)
{
    if (load < 0 || load > kHighestLoad)
        return false;
    put(load, on);
    return true;
}

void LoadTable::put(int load, bool on)
{
    const bool changed = bits_[load] != on;
    bits_[load] = on;
    if (changed && onChanged)
        onChanged(load, on);
}
