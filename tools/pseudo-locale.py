#!/usr/bin/python3
"""Writes a pseudo translation of a Qt string table: every text accented, bracketed and about 40 %
longer ("Sync Now" -> "[Ŝýñç Ñöŵ~~~~]"), with its placeholders (%1, %n, %@, %L1) and accelerators (&X)
left as they are. Texts that come out unbracketed in a view were not translated; texts that no longer
fit show where a layout is too tight for a longer language.

  pseudo-locale.py SOURCE.ts OUTPUT.ts"""

import re
import sys
import xml.etree.ElementTree as ET

ACCENTS = dict(zip("AaBCcDdEeGgHhIiJjKkLlNnOoRrSsTtUuWwYyZz",
                   "ÅåßÇçÐðÉéĜĝĤĥÎîĴĵĶķĻļÑñÖöŔŕŜŝŢţÛûŴŵÝýŽž"))
WORD = 8  # the longest run of padding without a space
# Kept whole: placeholders, accelerators, escaped ampersands, markup.
KEPT = re.compile(r"%L?\d+|%n|%@|%[0-9]*[a-z]|&&|&.|<[^>]*>|&[a-z]+;")


def pseudo(text):
    if not text.strip():
        return text
    parts, position = [], 0
    for match in KEPT.finditer(text):
        parts.append("".join(ACCENTS.get(c, c) for c in text[position:match.start()]))
        parts.append(match.group())
        position = match.end()
    parts.append("".join(ACCENTS.get(c, c) for c in text[position:]))
    # The padding comes in words of a few letters: a longer language has longer words, not one so
    # long that no line can hold it.
    padding = "~" * max(1, round(len(text) * 0.4))
    words = [padding[i:i + WORD] for i in range(0, len(padding), WORD)]
    return "[" + "".join(parts) + " ".join(words) + "]"


def main(source, output):
    tree = ET.parse(source)
    root = tree.getroot()
    root.set("language", "en_XA")
    for message in root.iter("message"):
        text = message.findtext("source") or ""
        translation = message.find("translation")
        if translation is None:
            continue
        translation.attrib.pop("type", None)
        forms = translation.findall("numerusform")
        if forms:
            for form in forms:
                form.text = pseudo(text)
        else:
            translation.text = pseudo(text)
    tree.write(output, encoding="utf-8", xml_declaration=True)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
