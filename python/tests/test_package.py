"""The package as editors and help() see it: the stubs of the compiled module list what it
defines, and every public name is documented."""

import ast
import inspect
import pathlib

import saccadrix
from saccadrix import _saccadrix


def stub_names():
    stub = pathlib.Path(_saccadrix.__file__).with_name("_saccadrix.pyi")
    tree = ast.parse(stub.read_text())
    functions = {n.name for n in tree.body if isinstance(n, ast.FunctionDef)}
    result = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "Result")
    attributes = {n.name for n in result.body if isinstance(n, ast.FunctionDef)}
    return functions, attributes


def test_stubs_list_every_function_and_result_attribute_of_the_module():
    functions, attributes = stub_names()
    defined = {name for name, value in vars(_saccadrix).items()
               if callable(value) and not name.startswith("_") and name != "Result"}
    if not _saccadrix.has_video:
        functions = {f for f in functions if not f.startswith("video_")}
    assert functions == defined
    assert attributes == set(saccadrix.COLUMNS) | {"host_time", "as_dict"}


def test_every_public_name_and_method_has_a_docstring():
    missing = []
    for name in saccadrix.__all__:
        value = getattr(saccadrix, name)
        if inspect.isclass(value) or inspect.isfunction(value):
            if not inspect.getdoc(value):
                missing.append(name)
        if inspect.isclass(value) and value.__module__.startswith("saccadrix._") and \
                not issubclass(value, BaseException):
            for member, attr in vars(value).items():
                if not member.startswith("_") and not inspect.getdoc(attr):
                    missing.append(f"{name}.{member}")
    assert missing == []
