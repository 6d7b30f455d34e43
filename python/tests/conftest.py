"""Shared set-up of the norvek package's tests: the package under test is the
one on PYTHONPATH (the build tree's, when ctest runs them)."""
import os
import pathlib

from hypothesis import settings

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent.parent

# Bounded and deterministic enough for a test suite on a shared machine.
settings.register_profile("norvek", max_examples=100, deadline=None, derandomize=True)
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "norvek"))


def source_path(variable, relative):
    """A file named by the environment (ctest sets it), else the checkout's."""
    return pathlib.Path(os.environ.get(variable) or SOURCE / relative)
