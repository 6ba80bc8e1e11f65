#!/usr/bin/env python3
"""bagit-python's own command line (`bagit.py --validate BAG...`), run from this folder. The
library asks the installed package's metadata for its version; carried here, it has none."""

import importlib.metadata
import sys
from pathlib import Path

_version = importlib.metadata.version
importlib.metadata.version = lambda name: "1.9.0" if name == "bagit" else _version(name)
sys.path.insert(0, str(Path(__file__).resolve().parent))

import bagit  # noqa: E402

sys.argv = [sys.argv[0], "--validate", "--quiet", *sys.argv[1:]]
bagit.main()
