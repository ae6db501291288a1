"""The exceptions of the quarlin package."""


class QuarlinError(Exception):
    """Base class of every error the block, its host or its module reports."""


class ModuleError(QuarlinError):
    """The module could not be loaded: missing, not a module, or built for
    another host interface."""


class BlockError(QuarlinError):
    """The block reported an error in its error status, or could not do what
    was asked of it."""


class HostError(QuarlinError):
    """A host error ended a call into the block.

    Attributes:
        identifier: the message identifier, e.g.
            "Simulink:SFunctions:SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal".
        text: one line for people, naming the call and the message.
        arguments: the message's arguments, texts as str and numbers as float.
    """

    def __init__(self, identifier, text, arguments=()):
        super().__init__(identifier, text, tuple(arguments))
        self.identifier = identifier
        self.text = text
        self.arguments = tuple(arguments)

    def __str__(self):
        return self.text


class SnapshotError(QuarlinError, ValueError):
    """A snapshot the block refuses (not of this module's shape, damaged), or a
    snapshot file that is not one."""
