#!/usr/bin/python3
"""What a screen reader sees of a running program, read from the accessibility bus (AT-SPI).

The program is found by its process id (--pid) or its application name (--app), waiting up to
--wait seconds for it to appear. Commands:

  tree [--json]       every accessible: role, name, text, states; a table's cells by row and column
  find FILTERS        the accessibles that match, once at least one does (waits)
  focused [FILTERS]   the one that has the keyboard focus; with filters, once it is one that matches
  gone FILTERS        once nothing matches any more (waits)
  press FILTERS       does the first action ("click", "press") of the match, once it is enabled
  focus FILTERS       gives the match the keyboard focus

FILTERS: --role ROLE (as AT-SPI names it: "push button", "check box", "text"), --name NAME (exact),
--text TEXT (the text contents, exact), --cell TEXT (a table with a cell of that text), --row PATTERN (a
table with a row whose cells, joined by " | " as the tree prints them, match the shell pattern: "*" for
a cell whose text varies), --state STATE and --no-state STATE (repeatable; states as printed: focused,
enabled, editable, checked, showing, ...).

Exit status: 0 done, 1 nothing matched within --wait (the tree is printed on stderr), 2 the program
never came on the bus or the bus is not there.
"""

import argparse
import fnmatch
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# The states a user can tell apart on screen, in the order they are printed.
STATES = [
    ("active", Atspi.StateType.ACTIVE),
    ("focused", Atspi.StateType.FOCUSED),
    ("focusable", Atspi.StateType.FOCUSABLE),
    ("enabled", Atspi.StateType.ENABLED),
    ("sensitive", Atspi.StateType.SENSITIVE),
    ("editable", Atspi.StateType.EDITABLE),
    ("checked", Atspi.StateType.CHECKED),
    ("selected", Atspi.StateType.SELECTED),
    ("expanded", Atspi.StateType.EXPANDED),
    ("showing", Atspi.StateType.SHOWING),
]
STATE_NAMES = [name for name, _ in STATES]
POLL_SECONDS = 0.1


class NotOnBus(Exception):
    pass


def find_application(pid, name):
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(index)
        if app is None:
            continue
        try:
            if (pid is not None and app.get_process_id() == pid) or (name is not None and app.get_name() == name):
                return app
        except GLib.Error:
            continue  # an application that ended while the desktop was read
    return None


def wait_for_application(args):
    deadline = time.monotonic() + args.wait
    while True:
        app = find_application(args.pid, args.app)
        if app is not None:
            return app
        if time.monotonic() >= deadline:
            raise NotOnBus(f"{args.pid or args.app} is not on the accessibility bus after {args.wait} s")
        time.sleep(POLL_SECONDS)


def states_of(accessible):
    state_set = accessible.get_state_set()
    return [name for name, state in STATES if state_set.contains(state)]


def text_of(accessible):
    if "Text" not in accessible.get_interfaces():
        return None
    return Atspi.Text.get_text(accessible, 0, Atspi.Text.get_character_count(accessible))


def cell_text(cell):
    if cell is None:
        return ""
    text = text_of(cell)
    return cell.get_name() if not text else text


def table_of(accessible):
    """A table's column headers and its cells' texts by row, with the rows that are selected."""
    if "Table" not in accessible.get_interfaces():
        return None
    table = accessible
    rows = Atspi.Table.get_n_rows(table)
    columns = Atspi.Table.get_n_columns(table)
    headers = []
    for column in range(columns):
        header = Atspi.Table.get_column_header(table, column)
        headers.append(header.get_name() if header is not None else "")
    cells = [[cell_text(Atspi.Table.get_accessible_at(table, row, column)) for column in range(columns)]
             for row in range(rows)]
    selected = [row for row in range(rows) if Atspi.Table.is_row_selected(table, row)]
    return {"columns": headers, "rows": cells, "selected": selected}


def describe(accessible, path):
    node = {
        "path": path,
        "role": accessible.get_role_name(),
        "name": accessible.get_name() or "",
        "states": states_of(accessible),
    }
    text = text_of(accessible)
    if text is not None:
        node["text"] = text
    table = table_of(accessible)
    if table is not None:
        node["table"] = table
    return node


def walk(accessible, path=()):
    """Every accessible under this one, depth first; a table's cells come as its table, not one by one."""
    node = describe(accessible, list(path))
    yield node, accessible
    if "table" in node:
        return
    for index in range(accessible.get_child_count()):
        child = accessible.get_child_at_index(index)
        if child is not None:
            yield from walk(child, path + (index,))


def read_tree(app):
    # Names and states are cached per object; what is on screen now is read afresh every time.
    app.clear_cache()
    try:
        return list(walk(app))
    except GLib.Error:
        return []  # a window that closed while it was read; the next poll sees the new tree


def text_line(node):
    line = "  " * len(node["path"]) + f'{node["role"]} {json.dumps(node["name"], ensure_ascii=False)}'
    if "text" in node and node["text"] != node["name"]:
        line += f' text={json.dumps(node["text"], ensure_ascii=False)}'
    line += f' [{",".join(node["states"])}]'
    table = node.get("table")
    if table is not None:
        indent = "  " * (len(node["path"]) + 1)
        line += f'\n{indent}columns: {" | ".join(table["columns"])}'
        for row, cells in enumerate(table["rows"]):
            mark = " [selected]" if row in table["selected"] else ""
            line += f'\n{indent}row {row}{mark}: {" | ".join(cells)}'
    return line


def print_nodes(nodes, as_json, stream=sys.stdout):
    for node in nodes:
        print(json.dumps(node, ensure_ascii=False) if as_json else text_line(node), file=stream)
    stream.flush()


def matches(node, args):
    return ((args.role is None or node["role"] == args.role)
            and (args.name is None or node["name"] == args.name)
            and (args.text is None or node.get("text") == args.text)
            and (args.cell is None or any(args.cell in row for row in node.get("table", {}).get("rows", [])))
            and (args.row is None or any(fnmatch.fnmatchcase(" | ".join(row), args.row)
                                         for row in node.get("table", {}).get("rows", [])))
            and all(state in node["states"] for state in args.state)
            and not any(state in node["states"] for state in args.no_state))


def focused_nodes(tree):
    """The focused accessibles, those in the active window first: an inactive window may keep its own."""
    focused = []
    active_window = None
    for node, accessible in tree:
        if len(node["path"]) == 1 and "active" in node["states"]:
            active_window = node["path"][0]
        if "focused" in node["states"]:
            focused.append((node, accessible))
    focused.sort(key=lambda pair: pair[0]["path"][:1] != [active_window])
    return focused[:1]


def wait_until(app, args, select, waiting_for="a match"):
    """Polls the tree until select() picks something out of it; None after --wait seconds."""
    deadline = time.monotonic() + args.wait
    while True:
        tree = read_tree(app)
        picked = select(tree)
        if picked:
            return picked
        if time.monotonic() >= deadline:
            print(f"no {waiting_for} within {args.wait} s; the tree:", file=sys.stderr)
            print_nodes([node for node, _ in tree], False, sys.stderr)
            return None
        time.sleep(POLL_SECONDS)


def run_command(app, args):
    if args.command == "tree":
        # A tree read while a window closed is empty; an empty answer is not a tree.
        tree = wait_until(app, args, lambda tree: tree, "tree")
        if tree is None:
            return 1
        print_nodes([node for node, _ in tree], args.json)
        return 0
    if args.command == "gone":
        gone = wait_until(app, args, lambda tree: not any(matches(node, args) for node, _ in tree),
                          "end of the matches")
        return 0 if gone else 1
    if args.command == "focused":
        picked = wait_until(app, args, lambda tree: [p for p in focused_nodes(tree) if matches(p[0], args)],
                            "match with the focus")
    else:
        picked = wait_until(app, args, lambda tree: [p for p in tree if matches(p[0], args)])
    if picked is None:
        return 1
    if args.command == "press" and not press(picked[0][1]):
        return 1
    if args.command == "focus" and not Atspi.Component.grab_focus(picked[0][1]):
        print("the accessible did not take the focus", file=sys.stderr)
        return 1
    print_nodes([node for node, _ in picked], args.json)
    return 0


def press(accessible):
    if "Action" not in accessible.get_interfaces() or Atspi.Action.get_n_actions(accessible) == 0:
        print("the accessible has no action", file=sys.stderr)
        return False
    return Atspi.Action.do_action(accessible, 0)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    which = parser.add_mutually_exclusive_group(required=True)
    which.add_argument("--pid", type=int, help="the program's process id")
    which.add_argument("--app", help="the program's application name")
    parser.add_argument("--wait", type=float, default=10.0, help="seconds to wait (default 10)")
    parser.add_argument("--json", action="store_true", help="one JSON object a line")
    parser.add_argument("command", choices=["tree", "find", "gone", "focused", "press", "focus"])
    parser.add_argument("--role")
    parser.add_argument("--name")
    parser.add_argument("--text")
    parser.add_argument("--cell")
    parser.add_argument("--row")
    parser.add_argument("--state", action="append", default=[], choices=STATE_NAMES)
    parser.add_argument("--no-state", action="append", default=[], choices=STATE_NAMES)
    args = parser.parse_args(argv)
    if args.command in ("press", "focus") and args.role is None and args.name is None:
        parser.error(f"{args.command} needs --role or --name")
    if args.command == "press":
        args.state.append("enabled")  # a greyed button is not one a user can press
    return args


def main(argv):
    args = parse_arguments(argv)
    # A program that does not answer is given up within the wait, not after D-Bus's 25 seconds.
    timeout_ms = int(max(args.wait, 1.0) * 1000)
    Atspi.set_timeout(timeout_ms, timeout_ms)
    try:
        return run_command(wait_for_application(args), args)
    except NotOnBus as error:
        print(error, file=sys.stderr)
        return 2
    except GLib.Error as error:
        print(f"the accessibility bus: {error.message}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
