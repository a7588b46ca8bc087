# The shell of `tavlune-sim enter`: it says where it is, and its prompt keeps
# saying so. (A PS1 handed in through the environment does not survive the
# non-interactive shells between nsenter and this one.)
PS1='[tavlune-sim] \h:\w \u\$ '
cat <<'TEXT'
Inside the simulated macOS host (tavlune-mac); exit or Ctrl-D leaves it.
  TavluneDesktop   /Applications/TavluneDesktop.app/Contents/MacOS/TavluneDesktop &
                   (or, outside: tavlune-sim open)
  tavlune --help   the command-line front end; local proxies: tavlune-sim proxies
                   (its completion works in bash here and in zsh: tavlune-sim enter zsh)
TEXT
# tavlune's completion and man page, as the build wrote them.
docs=/opt/tavlune/build/cli/share
[ -r "$docs/bash-completion/completions/tavlune" ] && . "$docs/bash-completion/completions/tavlune"
[ -d "$docs/man" ] && export MANPATH="$docs/man:"
unset docs
