#include "python/PythonValues.h"

#include <algorithm>
#include <climits>
#include <variant>

namespace py = pybind11;

namespace {

[[noreturn]] void Refuse(const OrvMemberInfo& member, const std::string& why)
{
    throw py::type_error(PythonValues::Signature(member) + ": " + why);
}

std::string Arguments(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " argument" : " arguments");
}

} // namespace

std::vector<OrvValue> PythonValues::Bind(const OrvMemberInfo& member, const py::tuple& args, const py::dict& kwargs)
{
    const std::vector<OrvParameter>& parameters = member.parameters;
    if (args.size() > parameters.size())
        Refuse(member, "takes " + Arguments(parameters.size()) + ", " + std::to_string(args.size()) + " given");
    std::vector<py::handle> given(parameters.size());
    std::copy(args.begin(), args.end(), given.begin());
    for (auto [key, value] : kwargs) {
        std::string name = py::str(key);
        std::size_t index = IndexOfParameter(member, name);
        if (index == parameters.size())
            Refuse(member, "no parameter named " + name);
        if (given[index])
            Refuse(member, name + " given twice");
        given[index] = value;
    }
    std::vector<OrvValue> values;
    for (std::size_t at = 0; at < parameters.size(); ++at) {
        if (!given[at])
            Refuse(member, "takes " + Arguments(parameters.size()) + ", " + std::to_string(args.size() + kwargs.size()) +
                               " given (" + parameters[at].name + " missing)");
        values.push_back(ToValue(member, parameters[at], given[at]));
    }
    return values;
}

OrvValue PythonValues::ToValue(const OrvMemberInfo& member, const OrvParameter& parameter, py::handle given)
{
    PyObject* object = given.ptr();
    const bool isBool = PyBool_Check(object);
    if (parameter.type == OrvType::Bool && isBool)
        return object == Py_True;
    if (parameter.type == OrvType::Int && PyLong_Check(object) && !isBool) {
        int overflow = 0;
        long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (number == -1 && PyErr_Occurred())
            throw py::error_already_set();
        if (overflow == 0 && number >= INT_MIN && number <= INT_MAX)
            return static_cast<int>(number);
        PyErr_SetString(PyExc_OverflowError,
                        (Signature(member) + ": " + parameter.name + " does not fit in 32 bits").c_str());
        throw py::error_already_set();
    }
    if (parameter.type == OrvType::String && PyUnicode_Check(object)) {
        auto bytes = py::reinterpret_steal<py::bytes>(PyUnicode_AsEncodedString(object, "utf-8", "surrogateescape"));
        if (!bytes)
            throw py::error_already_set();
        return std::string(bytes);
    }
    Refuse(member, parameter.name + " must be " + TypeName(parameter.type) + ", not " + Py_TYPE(object)->tp_name);
}

py::object PythonValues::ToPython(const OrvValue& value)
{
    if (const bool* flag = std::get_if<bool>(&value))
        return py::bool_(*flag);
    if (const int* number = std::get_if<int>(&value))
        return py::int_(*number);
    if (const std::string* text = std::get_if<std::string>(&value)) {
        PyObject* decoded =
            PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "surrogateescape");
        if (decoded == nullptr)
            throw py::error_already_set();
        return py::reinterpret_steal<py::str>(decoded);
    }
    return py::none();
}

py::tuple PythonValues::ToPython(const std::vector<OrvValue>& values)
{
    py::tuple converted(values.size());
    for (std::size_t at = 0; at < values.size(); ++at)
        converted[at] = ToPython(values[at]);
    return converted;
}

std::string PythonValues::Signature(const OrvMemberInfo& member)
{
    std::string text = member.name + "(";
    for (const OrvParameter& parameter : member.parameters)
        text += (&parameter == member.parameters.data() ? "" : ", ") + parameter.name + ": " + TypeName(parameter.type);
    return text + ") -> " + TypeName(member.result);
}

py::object PythonValues::TypeObject(OrvType type)
{
    switch (type) {
    case OrvType::Bool: return py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyBool_Type));
    case OrvType::Int: return py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyLong_Type));
    case OrvType::String: return py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyUnicode_Type));
    case OrvType::None: break;
    }
    return py::none();
}

const char* PythonValues::TypeName(OrvType type)
{
    switch (type) {
    case OrvType::Bool: return "bool";
    case OrvType::Int: return "int";
    case OrvType::String: return "str";
    case OrvType::None: break;
    }
    return "None";
}

std::size_t PythonValues::IndexOfParameter(const OrvMemberInfo& member, const std::string& name)
{
    auto found = std::find_if(member.parameters.begin(), member.parameters.end(),
                              [&name](const OrvParameter& parameter) { return parameter.name == name; });
    return static_cast<std::size_t>(found - member.parameters.begin());
}
