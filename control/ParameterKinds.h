#pragma once

#include "control/OrvDispatch.h"

#include <array>
#include <string>
#include <type_traits>
#include <vector>

// The kind of a value crossing the dispatch interface, read from the C++ type of a
// member's parameter or result, so that the method and event tables never state a
// kind the member does not have.
class ParameterKinds {
public:
    template <typename T>
    static constexpr OrvType Of()
    {
        using Plain = std::remove_cvref_t<T>;
        if constexpr (std::is_same_v<Plain, bool>)
            return OrvType::Bool;
        else if constexpr (std::is_same_v<Plain, int>)
            return OrvType::Int;
        else if constexpr (std::is_same_v<Plain, std::string>)
            return OrvType::String;
        else
            return OrvType::None;
    }

    // The parameters P with their names, in order.
    template <typename... P>
    static std::vector<OrvParameter> Parameters(const std::array<const char*, sizeof...(P)>& names)
    {
        static_assert(((Of<P>() != OrvType::None) && ...), "parameters are BOOL, I4 or BSTR");
        constexpr OrvType kinds[] = {Of<P>()..., OrvType::None};
        std::vector<OrvParameter> parameters;
        for (std::size_t at = 0; at < sizeof...(P); ++at)
            parameters.push_back({names[at], kinds[at]});
        return parameters;
    }
};
