"""Reading header values out of SIP message texts in the tests."""


def header(text, name):
    """The value of the first header `name` (case-insensitive), or None."""
    for line in text.split("\r\n" if "\r\n" in text else "\n")[1:]:
        if not line:
            break
        key, _, value = line.partition(":")
        if key.strip().lower() == name.lower():
            return value.strip()
    return None


def headers(text, name):
    values = []
    for line in text.split("\r\n" if "\r\n" in text else "\n")[1:]:
        if not line:
            break
        key, _, value = line.partition(":")
        if key.strip().lower() == name.lower():
            values.append(value.strip())
    return values


def tag(value):
    return value.split(";tag=", 1)[1].split(";")[0] if value and ";tag=" in value else ""


def branch(text):
    via = header(text, "Via") or ""
    return via.split("branch=", 1)[1].split(";")[0] if "branch=" in via else ""


def cseq_number(text):
    return int((header(text, "CSeq") or "0").split()[0])


def body(text):
    separator = "\r\n\r\n" if "\r\n\r\n" in text else "\n\n"
    return text.split(separator, 1)[1] if separator in text else ""
