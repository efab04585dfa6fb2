"""Numbers and texts that arrive in paths, queries, headers and bodies.

str.isdigit() also accepts digits such as "²" or "١", which int() refuses or
reads as another number, and int() of a long enough text raises; the database
then fails on anything past its signed 64-bit columns. Everything numeric that a
client sends is therefore read here: ASCII digits only, and few enough of them.
"""

import re

from rest_framework.exceptions import ValidationError

# 18 digits always fit a signed 64-bit column, whatever their value.
ID_PATTERN = "[0-9]{1,18}"
_WHOLE = re.compile(ID_PATTERN)
_CUT_DECIMAL = re.compile(r"([0-9]{1,18})(?:\.[0-9]{0,18})?")
_CONTROL = re.compile(r"[\x00-\x1f\x7f]")
# A serial stands for itself in the device's URI (/api/device/SERIAL/): only the
# characters a URI path carries unescaped.
SERIAL_PATTERN = "[A-Za-z0-9._~-]{1,64}"
_SERIAL = re.compile(SERIAL_PATTERN)


def whole_number(text):
    """The value of a text of ASCII digits, or None."""
    return int(text) if isinstance(text, str) and _WHOLE.fullmatch(text) else None


def cut_decimal(text):
    """The whole part of an unsigned ASCII decimal such as "2560" or "2560.75", or None.

    Device times are compared in whole units, and a client cuts the fraction."""
    match = _CUT_DECIMAL.fullmatch(text) if isinstance(text, str) else None
    return int(match.group(1)) if match else None


def is_device_serial(text):
    """Whether text can name a device: "." and ".." would name a parent path instead."""
    return bool(_SERIAL.fullmatch(text)) and text.strip(".") != ""


def has_control_characters(text):
    return bool(_CONTROL.search(text))


def parsed(parse, name, text):
    """parse(text), or a 400 naming the parameter when it gives None."""
    value = parse(text)
    if value is None:
        raise ValidationError(f"Invalid {name} '{text}'")
    return value
