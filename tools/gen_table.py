#!/usr/bin/python3
"""Writes the plain-text source of the default number table.

The data are the carrier prefixes of Japanese mobile numbers that Debian's
python3-phonenumbers carries (country code 81, then 70, 80 or 90 and a few
more digits).  Every prefix is expanded to the 7-digit blocks it covers; where
prefixes nest, the longest one wins, so every block has exactly one operator.

Usage: gen_table.py > data/nomvex-table.txt
"""
import sys

import phonenumbers
from phonenumbers.carrierdata import CARRIER_DATA

# The names users know the operators by; anything else is a new operator
# that someone has to name before it goes into the table.
OPERATORS = {
    "NTT Docomo": "DoCoMo",
    "KDDI": "au",
    "Softbank": "SoftBank",
    "Rakuten Communications": "楽天モバイル",
}
REGION = "全国"  # mobile blocks are no longer allotted by region
BLOCK_DIGITS = 6  # national digits in a 7-digit block ("0" + 6)


def blocks():
    """Maps each 7-digit block ("0901234") to its operator name."""
    prefixes = []
    for prefix, names in CARRIER_DATA.items():
        if not prefix.startswith("81"):
            continue
        national = prefix[2:]
        if national[:2] not in ("70", "80", "90"):
            continue
        if len(national) > BLOCK_DIGITS:
            sys.exit(f"prefix {prefix} is longer than a block")
        name = names.get("en")
        if name not in OPERATORS:
            sys.exit(f"prefix {prefix}: unknown operator {name!r}")
        prefixes.append((national, OPERATORS[name]))
    # Shorter prefixes first, so that longer ones overwrite the blocks they own.
    prefixes.sort(key=lambda p: (len(p[0]), p[0]))
    table = {}
    for national, operator in prefixes:
        free = BLOCK_DIGITS - len(national)
        for n in range(10 ** free):
            rest = str(n).zfill(free) if free else ""
            table["0" + national + rest] = operator
    return table


def main():
    table = blocks()
    out = sys.stdout
    out.write("; Nomvex number table: the operator of every 7-digit mobile and PHS block.\n")
    out.write(f"; Made by tools/gen_table.py from the carrier data of python3-phonenumbers {phonenumbers.__version__}\n")
    out.write("; (libphonenumber, Apache License 2.0; see data/NOTICE).\n")
    out.write(f"VERSION=libphonenumber {phonenumbers.__version__} ({len(table)} blocks)\n")
    out.write("FORMAT=block=operator region\n")
    for block in sorted(table):
        out.write(f"{block}={table[block]} {REGION}\n")


if __name__ == "__main__":
    main()
